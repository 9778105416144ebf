target_sources(kyrcore_tests PRIVATE
  platform/http_client_test.cpp
  platform/file_lock_test.cpp
)
