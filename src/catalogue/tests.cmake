target_sources(kyrcore_tests PRIVATE
  catalogue/pkg_result_test.cpp
  catalogue/version_test.cpp
)
