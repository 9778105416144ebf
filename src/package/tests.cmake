# Unit tests of this folder are added to kyrcore_tests here.
target_sources(kyrcore_tests PRIVATE
  package/files_package_element_test.cpp
  package/generic_package_element_test.cpp
  package/manifest_test.cpp
  package/package_element_factory_test.cpp
  package/package_file_test.cpp
  package/package_paths_test.cpp
  package/python_run_lib_package_test.cpp
)
