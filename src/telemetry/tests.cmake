if(NOT WIN32)
  # Not yet ported to the Windows test build (signed packages, data-root redirection).
  target_sources(kyrcore_tests PRIVATE
    telemetry/telemetry_context_test.cpp
    telemetry/run_report_test.cpp
  )
endif()
