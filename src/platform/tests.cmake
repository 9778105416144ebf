target_sources(kyrcore_tests PRIVATE
  platform/process_test.cpp
  platform/clock_test.cpp
  platform/console_test.cpp
  platform/deadline_worker_test.cpp
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
# The HTTP client against HTTPS servers on the build machine (tests/CMakeLists.txt starts
# them for these tests alone): a binary of its own, so no other test waits for them.
add_executable(kyrcore_http_tests platform/http_client_test.cpp)
target_include_directories(kyrcore_http_tests PRIVATE "${PROJECT_SOURCE_DIR}")
target_link_libraries(kyrcore_http_tests PRIVATE kyr_platform kyrcore_tests_config GTest::gtest GTest::gtest_main)
set(KYR_HTTP_TESTS_FILTER "")
if(WIN32)
  # Wine makes no symbolic link (creating one fails as not implemented), so a link
  # cannot be planted at the target there.
  set(KYR_HTTP_TESTS_FILTER "-HttpClientTest.DownloadNeverWritesThroughALinkPlantedAtTheTarget")
endif()

# A child program for the process tests.
kyr_test_program(kyrtest_process_child ${PROJECT_SOURCE_DIR}/tests/platform/fixtures/process_child.cpp KYR_PROCESS_CHILD)

# Times one streamed download through this backend (bench/http_download.py); not a test.
add_executable(kyr-http-download-bench "${PROJECT_SOURCE_DIR}/bench/http_download.cpp")
target_include_directories(kyr-http-download-bench PRIVATE "${PROJECT_SOURCE_DIR}")
target_link_libraries(kyr-http-download-bench PRIVATE kyr_platform kyrcore_tests_config)
