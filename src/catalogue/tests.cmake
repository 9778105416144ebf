target_sources(kyrcore_tests PRIVATE
  catalogue/pkg_result_test.cpp
)
