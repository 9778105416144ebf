target_sources(kyrcore_tests PRIVATE
  telemetry/telemetry_context_test.cpp
  telemetry/run_report_test.cpp
)
