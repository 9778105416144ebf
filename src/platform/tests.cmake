target_sources(kyrcore_tests PRIVATE
  platform/process_test.cpp
  platform/clock_test.cpp
  platform/console_test.cpp
  platform/entry_handle_test.cpp
  platform/file_lock_test.cpp
  platform/file_system_test.cpp
  platform/guid_test.cpp
  platform/mapped_file_test.cpp
  platform/progress_line_test.cpp
  platform/scoped_handle_test.cpp
  platform/signature_crypto_test.cpp
  platform/text_test.cpp
  platform/zip_archive_reader_test.cpp
)
if(WIN32)
  # The zip tests make their archives with the publisher's zip writer.
  target_sources(kyrcore_tests PRIVATE "${PROJECT_SOURCE_DIR}/tools/kyrpack/zip_writer.cpp")
  target_include_directories(kyrcore_tests PRIVATE "${PROJECT_SOURCE_DIR}/tools")
  target_link_libraries(kyrcore_tests PRIVATE minizip_writer)
else()
  # Signed data and the local HTTPS server are made with the publisher's signer and
  # OpenSSL, which the Windows build does not have.
  target_sources(kyrcore_tests PRIVATE
    platform/http_client_test.cpp
    platform/signature_verifier_test.cpp
  )
endif()
