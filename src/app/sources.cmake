target_sources(kyr_app PRIVATE
  app/command_processor.cpp
  app/list_command.cpp
  app/package_commands.cpp
  app/package_manager.cpp
  app/package_operations.cpp
)
