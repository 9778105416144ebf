# Who publishes this build. Two publishers' builds carry different servers and keys, so
# everything that names a build on a user's machine or in a package index follows the
# publisher identifier: the Debian package names, the MSI's upgrade code and the winget
# and Scoop package identifiers. The default, "kyrowan", is this project's own builds.
set(KYRDECRYPT_PUBLISHER_ID "kyrowan" CACHE STRING
    "Publisher identifier (lower-case letters, digits and hyphens) the package names follow")
set(KYRDECRYPT_PUBLISHER_NAME "KyrDecrypt" CACHE STRING
    "Publisher's name shown in the Windows version resource, the MSI and the package manifests")
if(NOT KYRDECRYPT_PUBLISHER_ID MATCHES "^[a-z0-9]([a-z0-9-]*[a-z0-9])?$")
  message(FATAL_ERROR "KYRDECRYPT_PUBLISHER_ID '${KYRDECRYPT_PUBLISHER_ID}' must be lower-case letters, "
                      "digits and inner hyphens")
endif()
if(KYRDECRYPT_PUBLISHER_NAME STREQUAL "" OR KYRDECRYPT_PUBLISHER_NAME MATCHES "[\"<>&\\\\]")
  message(FATAL_ERROR "KYRDECRYPT_PUBLISHER_NAME must be non-empty and hold none of \" < > & \\")
endif()

if(KYRDECRYPT_PUBLISHER_ID STREQUAL "kyrowan")
  set(KYR_DEB_CLIENT kyrdecrypt)
else()
  set(KYR_DEB_CLIENT "kyrdecrypt-${KYRDECRYPT_PUBLISHER_ID}")
endif()
set(KYR_DEB_PUBLISHER "${KYR_DEB_CLIENT}-publisher")
set(KYR_PACKAGE_IDENTIFIER "${KYRDECRYPT_PUBLISHER_ID}.KyrDecrypt")
# Stable for one publisher across releases (a newer MSI replaces an older one), distinct
# between publishers: a name-based UUID of the identifier.
string(UUID KYR_MSI_UPGRADE_CODE NAMESPACE "6f1d3c3e-2b8a-4f5e-9d61-0c7a4e2b9f10"
       NAME "${KYRDECRYPT_PUBLISHER_ID}" TYPE SHA1 UPPER)
