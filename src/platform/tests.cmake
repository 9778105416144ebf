target_sources(kyrcore_tests PRIVATE
  platform/process_test.cpp
  platform/clock_test.cpp
  platform/console_test.cpp
  platform/entry_handle_test.cpp
  platform/file_lock_test.cpp
  platform/run_log_test.cpp
  platform/file_system_test.cpp
  platform/folder_answers_test.cpp
  platform/repository_trust_test.cpp
  platform/guid_test.cpp
  platform/mapped_file_test.cpp
  platform/progress_line_test.cpp
  platform/scoped_handle_test.cpp
  platform/signature_crypto_test.cpp
  platform/signature_verifier_test.cpp
  platform/text_test.cpp
  platform/zip_archive_reader_test.cpp
)
if(NOT WIN32)
  # The local HTTPS server the client is tested against is made with OpenSSL, which
  # the Windows build does not have; WinINet is tested end to end instead.
  target_sources(kyrcore_tests PRIVATE platform/http_client_test.cpp)
endif()
