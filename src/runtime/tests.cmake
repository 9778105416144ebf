target_sources(kyrcore_tests PRIVATE
  runtime/python_scripts_test.cpp
)
