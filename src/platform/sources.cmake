target_sources(kyrcore PRIVATE
  platform/console.cpp
  platform/console_posix.cpp
  platform/progress_line.cpp
  platform/text.cpp
  platform/clock_posix.cpp
  platform/file_system_posix.cpp
  platform/guid_posix.cpp
  platform/handles_posix.cpp
  platform/mapped_file.cpp
  platform/mapped_file_posix.cpp
  platform/process_posix.cpp
  platform/output_file_posix.cpp
  platform/signature_verifier.cpp
  platform/zip_archive_reader.cpp
  platform/http_client_posix.cpp
  platform/file_lock_posix.cpp
)
