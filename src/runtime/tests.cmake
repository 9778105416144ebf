target_sources(kyrcore_tests PRIVATE
  runtime/argument_splitter_test.cpp
)
