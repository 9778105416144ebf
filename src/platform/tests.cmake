target_sources(kyrcore_tests PRIVATE
  platform/process_test.cpp
  platform/clock_test.cpp
  platform/file_lock_test.cpp
  platform/file_system_test.cpp
  platform/guid_test.cpp
  platform/mapped_file_test.cpp
  platform/progress_line_test.cpp
  platform/scoped_handle_test.cpp
  platform/signature_crypto_test.cpp
  platform/text_test.cpp
)
if(NOT WIN32)
  # Signed data, zip archives and the local HTTPS server are made with the publisher's
  # signer and OpenSSL, which the Windows build does not have.
  target_sources(kyrcore_tests PRIVATE
    platform/http_client_test.cpp
    platform/signature_verifier_test.cpp
    platform/zip_archive_reader_test.cpp
  )
endif()
