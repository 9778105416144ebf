target_sources(kyrcore_tests PRIVATE
  platform/process_test.cpp
)
