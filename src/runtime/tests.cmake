target_sources(kyrcore_tests PRIVATE
  runtime/runtime_test.cpp
  runtime/runtime_registry_test.cpp
  runtime/argument_splitter_test.cpp
  runtime/native_runtime_test.cpp
  runtime/python_runtime_test.cpp
  runtime/python_scripts_test.cpp
  runtime/python_runtime_package_test.cpp
)
if(NOT WIN32)
  # ELF reading is POSIX's own.
  target_sources(kyrcore_tests PRIVATE runtime/elf_dependencies_test.cpp)
endif()

# A stand-in Python interpreter.
kyr_test_program(kyrtest_fake_python ${PROJECT_SOURCE_DIR}/tests/runtime/fixtures/fake_python.cpp KYR_FAKE_PYTHON)

# Small libraries the native runtime loads in its tests, each in its own folder
# and without a build RPATH, so only the folders a test registers can supply them.
set(KYR_NATIVE_TEST_DIR "${CMAKE_BINARY_DIR}/native-test")
function(kyr_native_test_library target folder source)
  add_library(${target} SHARED ${source})
  # A DLL is a runtime file to CMake, a shared object a library file.
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY "${KYR_NATIVE_TEST_DIR}/${folder}"
    RUNTIME_OUTPUT_DIRECTORY "${KYR_NATIVE_TEST_DIR}/${folder}"
    CXX_VISIBILITY_PRESET hidden
    SKIP_BUILD_RPATH ON)
  # A sanitized library would need the sanitizer's runtime, which no registered folder holds.
  if(KYRDECRYPT_SANITIZE OR KYRDECRYPT_FUZZ)
    target_compile_options(${target} PRIVATE -fno-sanitize=all)
    target_link_options(${target} PRIVATE -fno-sanitize=all)
  endif()
  add_dependencies(kyrcore_tests ${target})
endfunction()
kyr_native_test_library(kyrtest_entry entry ${PROJECT_SOURCE_DIR}/tests/runtime/fixtures/entry_module.cpp)
kyr_native_test_library(kyrtest_dep dep ${PROJECT_SOURCE_DIR}/tests/runtime/fixtures/dep_library.cpp)
kyr_native_test_library(kyrtest_needs_dep needsdep ${PROJECT_SOURCE_DIR}/tests/runtime/fixtures/needs_dep_module.cpp)
target_link_libraries(kyrtest_needs_dep PRIVATE kyrtest_dep)
target_compile_definitions(kyrcore_tests PRIVATE KYR_NATIVE_TEST_DIR="${KYR_NATIVE_TEST_DIR}")
