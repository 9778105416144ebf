target_sources(kyr_platform PRIVATE
  platform/text.cpp
  platform/progress_line.cpp
  platform/mapped_file.cpp
  platform/entry_handle.cpp
  platform/entry_handle_${KYR_OS}.cpp
  platform/http_client.cpp
  platform/signature_checks.cpp
  platform/signature_verifier.cpp
  platform/key_fingerprint.cpp
  platform/build_identity.cpp
  platform/key_fingerprint_${KYR_OS}.cpp
  platform/zip_archive_reader.cpp
  platform/zip_span_io.cpp
  platform/clock_${KYR_OS}.cpp
  platform/console_${KYR_OS}.cpp
  platform/file_system.cpp
  platform/file_system_${KYR_OS}.cpp
  platform/guid_${KYR_OS}.cpp
  platform/handles_${KYR_OS}.cpp
  platform/mapped_file_${KYR_OS}.cpp
  platform/process_${KYR_OS}.cpp
  platform/output_file_${KYR_OS}.cpp
  platform/signature_crypto_${KYR_OS}.cpp
  platform/http_client_${KYR_OS}.cpp
  platform/file_lock_${KYR_OS}.cpp
  platform/deadline_worker.cpp
  platform/failure_causes.cpp
  platform/failure_causes_${KYR_OS}.cpp
  platform/run_log_${KYR_OS}.cpp
  platform/run_summary.cpp
  platform/repository_trust.cpp
  platform/trust_metadata.cpp
  platform/trust_crypto_${KYR_OS}.cpp
)
# Companions print the project's version with the server and key they were built for.
set_source_files_properties(platform/build_identity.cpp PROPERTIES
  COMPILE_DEFINITIONS "KYRDECRYPT_VERSION=\"${PROJECT_VERSION}\"")
