target_sources(kyrcore PRIVATE
  platform/text.cpp
  platform/progress_line.cpp
  platform/mapped_file.cpp
  platform/signature_verifier.cpp
  platform/zip_archive_reader.cpp
  platform/clock_${KYR_OS}.cpp
  platform/console_${KYR_OS}.cpp
  platform/file_system_${KYR_OS}.cpp
  platform/guid_${KYR_OS}.cpp
  platform/handles_${KYR_OS}.cpp
  platform/mapped_file_${KYR_OS}.cpp
  platform/process_${KYR_OS}.cpp
  platform/output_file_${KYR_OS}.cpp
  platform/signature_crypto_${KYR_OS}.cpp
  platform/http_client_${KYR_OS}.cpp
  platform/file_lock_${KYR_OS}.cpp
)
