# Unit tests of this folder are added to kyrcore_tests here.
target_sources(kyrcore_tests PRIVATE
  package/manifest_test.cpp
  package/package_file_test.cpp
)
