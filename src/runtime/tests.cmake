target_sources(kyrcore_tests PRIVATE
  runtime/python_scripts_test.cpp
  runtime/argument_splitter_test.cpp
)
