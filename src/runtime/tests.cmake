target_sources(kyrcore_tests PRIVATE
  runtime/runtime_test.cpp
  runtime/runtime_registry_test.cpp
)
