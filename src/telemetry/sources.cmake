# Sources of this folder are added to kyrcore here.
target_sources(kyrcore PRIVATE
  telemetry/telemetry_context.cpp
  telemetry/run_report.cpp
  telemetry/telemetry_upload.cpp
)
