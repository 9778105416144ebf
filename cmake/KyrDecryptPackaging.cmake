# Installation (cmake --install) and packages (cpack): the client in "kyrdecrypt", the
# publisher tools with their service in "kyrdecrypt-publisher" (names follow the publisher
# identifier); on Windows, a ZIP and an MSI of the client with its README and LICENSE.
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS kyrdecrypt kyridentify kyrbundle RUNTIME DESTINATION . COMPONENT client)
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . COMPONENT client)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL client)
  set(CPACK_ARCHIVE_CLIENT_FILE_NAME "KyrDecrypt-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)

  # "cmake --build --preset windows --target msi": the MSI, signed after the programs it holds.
  find_program(WIXL_EXECUTABLE wixl)
  if(NOT WIXL_EXECUTABLE)
    message(STATUS "MSI: wixl (Debian's wixl/msitools) not found, so there is no msi target")
  endif()
  set(KYR_MSI "${PROJECT_BINARY_DIR}/KyrDecrypt-${PROJECT_VERSION}-win64.msi")
  set(sign_msi "")
  if(KYR_CODESIGN)
    set(sign_msi COMMAND "${CMAKE_COMMAND}" -E env ${KYR_CODESIGN_ENV}
                         bash "${PROJECT_SOURCE_DIR}/scripts/codesign.sh" "${KYR_MSI}")
  endif()
  # wixl takes the files from the folder of the .wxs: all are gathered in one first.
  set(stage "${PROJECT_BINARY_DIR}/msi-files")
  add_custom_command(OUTPUT "${KYR_MSI}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${stage}"
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:kyrdecrypt>" "$<TARGET_FILE:kyridentify>" "$<TARGET_FILE:kyrbundle>"
            "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE"
            "${PROJECT_SOURCE_DIR}/packaging/windows/kyrdecrypt.wxs" "${stage}"
    COMMAND "${WIXL_EXECUTABLE}" -a x64 -D "Version=${PROJECT_VERSION}" -D "Publisher=${KYRDECRYPT_PUBLISHER_NAME}"
            -D "UpgradeCode=${KYR_MSI_UPGRADE_CODE}" -o "${KYR_MSI}" "${stage}/kyrdecrypt.wxs"
    ${sign_msi}
    DEPENDS kyrdecrypt kyridentify kyrbundle "${PROJECT_SOURCE_DIR}/packaging/windows/kyrdecrypt.wxs"
            "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE"
    VERBATIM)
  if(WIXL_EXECUTABLE)
    add_custom_target(msi DEPENDS "${KYR_MSI}")
  endif()

  # What scripts/release.py writes the package managers' manifests with.
  set(identity "{}")
  foreach(pair "version;${PROJECT_VERSION}" "identifier;${KYR_PACKAGE_IDENTIFIER}"
               "publisher;${KYRDECRYPT_PUBLISHER_NAME}" "upgrade_code;${KYR_MSI_UPGRADE_CODE}")
    list(GET pair 0 key)
    list(GET pair 1 value)
    string(JSON identity SET "${identity}" "${key}" "\"${value}\"")
  endforeach()
  file(WRITE "${PROJECT_BINARY_DIR}/release-identity.json" "${identity}\n")
  return()
endif()

# Manual pages are installed compressed, as Debian expects.
set(kyr_man_pages kyrdecrypt kyridentify kyrbundle)
if(KYRDECRYPT_BUILD_PUBLISHER)
  list(APPEND kyr_man_pages kyrpack kyrdecrypt-server)
endif()
find_program(GZIP_EXECUTABLE gzip REQUIRED)
foreach(page IN LISTS kyr_man_pages)
  set(source "${PROJECT_SOURCE_DIR}/docs/man/${page}.1")
  set(packed "${PROJECT_BINARY_DIR}/man/${page}.1.gz")
  add_custom_command(OUTPUT "${packed}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/man"
    COMMAND "${GZIP_EXECUTABLE}" -9 -n -c "${source}" > "${packed}"
    DEPENDS "${source}" VERBATIM)
  list(APPEND kyr_packed_pages "${packed}")
endforeach()
add_custom_target(kyrdecrypt_man ALL DEPENDS ${kyr_packed_pages})

set(CPACK_PACKAGE_CONTACT "KyrDecrypt maintainers <kyrdecrypt@kyrowan.example>")
# Each package's copyright and changelog, where Debian looks for them.
# kyr_package_docs(<component> <package name>)
function(kyr_package_docs component package)
  set(docs "${PROJECT_BINARY_DIR}/package-docs/${package}")
  set(KYR_DEB_PACKAGE "${package}")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in" "${docs}/copyright" @ONLY)
  configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in" "${docs}/changelog" @ONLY)
  add_custom_command(OUTPUT "${docs}/changelog.gz"
    COMMAND "${GZIP_EXECUTABLE}" -9 -n -c "${docs}/changelog" > "${docs}/changelog.gz"
    DEPENDS "${docs}/changelog" VERBATIM)
  add_custom_target(kyrdecrypt_docs_${component} ALL DEPENDS "${docs}/changelog.gz")
  install(FILES "${docs}/copyright" "${docs}/changelog.gz"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}" COMPONENT ${component})
endfunction()

install(TARGETS kyrdecrypt kyridentify kyrbundle RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT client)
install(FILES "${PROJECT_BINARY_DIR}/man/kyrdecrypt.1.gz" "${PROJECT_BINARY_DIR}/man/kyridentify.1.gz"
        "${PROJECT_BINARY_DIR}/man/kyrbundle.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT client)
set(CPACK_COMPONENTS_ALL client)
kyr_package_docs(client "${KYR_DEB_CLIENT}")

if(KYRDECRYPT_BUILD_PUBLISHER)
  kyr_package_docs(publisher "${KYR_DEB_PUBLISHER}")
  install(TARGETS kyrpack kyrdecrypt-server RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT publisher)
  install(FILES "${PROJECT_BINARY_DIR}/man/kyrpack.1.gz" "${PROJECT_BINARY_DIR}/man/kyrdecrypt-server.1.gz"
          DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT publisher)
  # The service's files only make sense at the system's own paths, so a plain
  # "cmake --install" leaves them out; the package (or "--component service") has them.
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/kyrdecrypt-server.service"
                "${PROJECT_SOURCE_DIR}/packaging/kyrdecrypt-snapshot.service"
                "${PROJECT_SOURCE_DIR}/packaging/kyrdecrypt-snapshot.timer"
          DESTINATION /lib/systemd/system COMPONENT service EXCLUDE_FROM_ALL)
  # Only an example: the timer does nothing until a copy at /etc/kyrdecrypt-server/snapshot.conf exists.
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/snapshot.conf"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${KYR_DEB_PUBLISHER}/examples" COMPONENT service EXCLUDE_FROM_ALL)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/kyrdecrypt-server.conf"
          DESTINATION /etc/kyrdecrypt-server COMPONENT service EXCLUDE_FROM_ALL)
  list(APPEND CPACK_COMPONENTS_ALL publisher service)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "${KYR_DEB_CLIENT}")
set(CPACK_PACKAGE_VENDOR "${KYRDECRYPT_PUBLISHER_NAME}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_COMPONENT_PUBLISHER_GROUP publisher)
set(CPACK_COMPONENT_SERVICE_GROUP publisher)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Every publisher's client installs the same programs: one at a time on a machine.
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME "${KYR_DEB_CLIENT}")
set(CPACK_DEBIAN_CLIENT_PACKAGE_PROVIDES kyrdecrypt-client)
set(CPACK_DEBIAN_CLIENT_PACKAGE_CONFLICTS kyrdecrypt-client)
set(CPACK_DEBIAN_CLIENT_PACKAGE_REPLACES kyrdecrypt-client)
set(CPACK_DEBIAN_CLIENT_DESCRIPTION "get, verify and run ransomware decryption tools
KyrDecrypt lists the decryption tools published on one package server,
downloads one with the libraries and runtime it needs, checks every file
against the RSA key built into it, installs it and runs it.")

set(CPACK_DEBIAN_PUBLISHER_PACKAGE_NAME "${KYR_DEB_PUBLISHER}")
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_PROVIDES kyrdecrypt-publisher-tools)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_CONFLICTS kyrdecrypt-publisher-tools)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_REPLACES kyrdecrypt-publisher-tools)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/publisher/postinst;${PROJECT_SOURCE_DIR}/packaging/publisher/prerm;${PROJECT_SOURCE_DIR}/packaging/publisher/postrm;${PROJECT_SOURCE_DIR}/packaging/publisher/conffiles")
set(CPACK_DEBIAN_PUBLISHER_DESCRIPTION "publisher tools for KyrDecrypt packages
kyrpack makes signing keys and signed package files for the kyrdecrypt
client; kyrdecrypt-server serves them over HTTPS and stores the run
reports clients send, as a systemd service of its own system user.")

include(CPack)
