# Authenticode signing of the Windows executables, when the publisher gives a certificate
# (scripts/codesign.sh says which variables). Each executable is signed as it is linked,
# so the ZIP and the MSI only ever hold signed programs.
set(KYRDECRYPT_CODESIGN_PKCS12 "" CACHE FILEPATH "Code-signing certificate and key, PKCS#12")
set(KYRDECRYPT_CODESIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the PKCS#12 password")
set(KYRDECRYPT_CODESIGN_CERT "" CACHE FILEPATH "Code-signing certificate chain, PEM")
set(KYRDECRYPT_CODESIGN_KEY "" CACHE FILEPATH "Code-signing private key, PEM")
set(KYRDECRYPT_CODESIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server (empty: none)")
set(KYR_CODESIGN_ENV "")
foreach(name PKCS12 PASSWORD_FILE CERT KEY TIMESTAMP_URL)
  list(APPEND KYR_CODESIGN_ENV "KYRDECRYPT_CODESIGN_${name}=${KYRDECRYPT_CODESIGN_${name}}")
endforeach()
if(KYRDECRYPT_CODESIGN_PKCS12 OR (KYRDECRYPT_CODESIGN_CERT AND KYRDECRYPT_CODESIGN_KEY))
  set(KYR_CODESIGN ON)
  find_program(OSSLSIGNCODE_EXECUTABLE osslsigncode REQUIRED)
  message(STATUS "Code signing: on, Authenticode SHA-256")
else()
  set(KYR_CODESIGN OFF)
  message(STATUS "Code signing: off, no KYRDECRYPT_CODESIGN_PKCS12 or _CERT and _KEY: the Windows artefacts are unsigned")
endif()

# kyr_codesign(<target>): signs the target's file after each link.
function(kyr_codesign target)
  if(KYR_CODESIGN)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${CMAKE_COMMAND}" -E env ${KYR_CODESIGN_ENV}
              bash "${PROJECT_SOURCE_DIR}/scripts/codesign.sh" "$<TARGET_FILE:${target}>"
      VERBATIM)
  endif()
endfunction()
