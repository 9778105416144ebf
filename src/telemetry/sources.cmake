target_sources(kyr_telemetry PRIVATE
  telemetry/telemetry_context.cpp
  telemetry/run_report.cpp
  telemetry/telemetry_upload.cpp
)
