target_sources(kyrcore_tests PRIVATE
  catalogue/pkg_result_test.cpp
  catalogue/version_test.cpp
  catalogue/package_catalogue_test.cpp
  catalogue/catalogue_file_test.cpp
)
