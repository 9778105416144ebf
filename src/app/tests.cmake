target_sources(kyrcore_tests PRIVATE
  app/command_processor_test.cpp
  app/package_commands_test.cpp
  app/package_manager_test.cpp
)
