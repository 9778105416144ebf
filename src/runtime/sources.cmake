target_sources(kyr_runtime PRIVATE
  runtime/runtime.cpp
  runtime/runtime_factory.cpp
  runtime/runtime_registry.cpp
  runtime/utf16_text.cpp
  runtime/argument_splitter.cpp
  runtime/library_folders.cpp
  runtime/native_runtime.cpp
  runtime/native_module_${KYR_OS}.cpp
  runtime/python_runtime.cpp
  runtime/python_scripts.cpp
)
if(NOT WIN32)
  # Windows' loader searches the registered folders itself; POSIX resolves dependencies by hand.
  target_sources(kyr_runtime PRIVATE runtime/elf_dependencies_posix.cpp)
endif()
