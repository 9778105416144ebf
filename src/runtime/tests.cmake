target_sources(kyrcore_tests PRIVATE
  runtime/runtime_test.cpp
  runtime/runtime_registry_test.cpp
  runtime/argument_splitter_test.cpp
)
if(NOT WIN32)
  # The native tests load POSIX test libraries; the Python tests need an interpreter
  # and packages signed by the publisher's signer.
  target_sources(kyrcore_tests PRIVATE
    runtime/native_runtime_test.cpp
    runtime/elf_dependencies_test.cpp
    runtime/python_runtime_package_test.cpp
    runtime/python_runtime_test.cpp
    runtime/python_scripts_test.cpp
  )
  # Small libraries the native runtime loads in its tests, each in its own folder
  # and without a build RPATH, so only the folders a test registers can supply them.
  set(KYR_NATIVE_TEST_DIR "${CMAKE_BINARY_DIR}/native-test")
  function(kyr_native_test_library target folder source)
    add_library(${target} SHARED ${source})
    set_target_properties(${target} PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY "${KYR_NATIVE_TEST_DIR}/${folder}"
      CXX_VISIBILITY_PRESET hidden
      SKIP_BUILD_RPATH ON)
    # A sanitized library would need the sanitizer's runtime, which no registered folder holds.
    if(KYRDECRYPT_SANITIZE OR KYRDECRYPT_FUZZ)
      target_compile_options(${target} PRIVATE -fno-sanitize=all)
      target_link_options(${target} PRIVATE -fno-sanitize=all)
    endif()
    add_dependencies(kyrcore_tests ${target})
  endfunction()
  kyr_native_test_library(kyrtest_entry entry runtime/testdata/entry_module.cpp)
  kyr_native_test_library(kyrtest_dep dep runtime/testdata/dep_library.cpp)
  kyr_native_test_library(kyrtest_needs_dep needsdep runtime/testdata/needs_dep_module.cpp)
  target_link_libraries(kyrtest_needs_dep PRIVATE kyrtest_dep)
  target_compile_definitions(kyrcore_tests PRIVATE KYR_NATIVE_TEST_DIR="${KYR_NATIVE_TEST_DIR}")
endif()
