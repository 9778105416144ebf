if(WIN32)
  include(KyrDecryptCodeSign)
endif()

# kyr_windows_resources(<target> <description>): the version resource and application
# manifest of one Windows executable, named after the target's OUTPUT_NAME.
function(kyr_windows_resources target description)
  get_target_property(KYR_RC_NAME ${target} OUTPUT_NAME)
  set(KYR_RC_DESCRIPTION "${description}")
  set(KYR_RC_VERSION_DOTS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(KYR_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(KYR_RC_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${KYR_RC_NAME}.manifest")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${KYR_RC_NAME}.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/windows_app.manifest.in" "${KYR_RC_MANIFEST}" @ONLY)
  configure_file("${PROJECT_SOURCE_DIR}/cmake/windows_app.rc.in" "${rc}" @ONLY)
  set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${KYR_RC_MANIFEST}")
  target_sources(${target} PRIVATE "${rc}")
  kyr_codesign(${target})
endfunction()
