# Installation (cmake --install) and packages (cpack): the client in "kyrdecrypt", the
# publisher tools with their service in "kyrdecrypt-publisher"; on Windows, a ZIP of
# the client with its README.
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS kyrdecrypt kyridentify RUNTIME DESTINATION . COMPONENT client)
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION . COMPONENT client)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL client)
  set(CPACK_ARCHIVE_CLIENT_FILE_NAME "KyrDecrypt-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

# Manual pages are installed compressed, as Debian expects.
set(kyr_man_pages kyrdecrypt kyridentify)
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

install(TARGETS kyrdecrypt kyridentify RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT client)
install(FILES "${PROJECT_BINARY_DIR}/man/kyrdecrypt.1.gz" "${PROJECT_BINARY_DIR}/man/kyridentify.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT client)
set(CPACK_COMPONENTS_ALL client)

if(KYRDECRYPT_BUILD_PUBLISHER)
  install(TARGETS kyrpack kyrdecrypt-server RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT publisher)
  install(FILES "${PROJECT_BINARY_DIR}/man/kyrpack.1.gz" "${PROJECT_BINARY_DIR}/man/kyrdecrypt-server.1.gz"
          DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT publisher)
  # The service's files only make sense at the system's own paths, so a plain
  # "cmake --install" leaves them out; the package (or "--component service") has them.
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/kyrdecrypt-server.service"
          DESTINATION /lib/systemd/system COMPONENT service EXCLUDE_FROM_ALL)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/kyrdecrypt-server.conf"
          DESTINATION /etc/kyrdecrypt-server COMPONENT service EXCLUDE_FROM_ALL)
  list(APPEND CPACK_COMPONENTS_ALL publisher service)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kyrdecrypt)
set(CPACK_PACKAGE_VENDOR "Kyrowan")
set(CPACK_PACKAGE_CONTACT "KyrDecrypt maintainers <kyrdecrypt@kyrowan.example>")
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

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME kyrdecrypt)
set(CPACK_DEBIAN_CLIENT_DESCRIPTION "get, verify and run ransomware decryption tools
KyrDecrypt lists the decryption tools published on one package server,
downloads one with the libraries and runtime it needs, checks every file
against the RSA key built into it, installs it and runs it.")

set(CPACK_DEBIAN_PUBLISHER_PACKAGE_NAME kyrdecrypt-publisher)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/publisher/postinst;${PROJECT_SOURCE_DIR}/packaging/publisher/prerm;${PROJECT_SOURCE_DIR}/packaging/publisher/postrm;${PROJECT_SOURCE_DIR}/packaging/publisher/conffiles")
set(CPACK_DEBIAN_PUBLISHER_DESCRIPTION "publisher tools for KyrDecrypt packages
kyrpack makes signing keys and signed package files for the kyrdecrypt
client; kyrdecrypt-server serves them over HTTPS and stores the run
reports clients send, as a systemd service of its own system user.")

include(CPack)
