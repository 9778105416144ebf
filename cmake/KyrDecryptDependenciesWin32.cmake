# Dependencies of the Windows cross build, all from Debian packages: zlib for mingw
# (linked statically), minizip compiled from Debian's zlib source package (fetched by
# scripts/install-windows-deps.sh), the nlohmann-json and CLI11 headers, GoogleTest from source.
find_package(Threads REQUIRED)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# Only what the cross build may see of the host's headers: a folder holding nlohmann/,
# CLI/ and minizip/, never the whole of /usr/include.
set(KYR_CROSS_INCLUDE "${CMAKE_BINARY_DIR}/cross-include")
file(MAKE_DIRECTORY "${KYR_CROSS_INCLUDE}")
if(NOT EXISTS "/usr/include/nlohmann/json.hpp")
  message(FATAL_ERROR "nlohmann-json headers not found: install nlohmann-json3-dev")
endif()
file(CREATE_LINK "/usr/include/nlohmann" "${KYR_CROSS_INCLUDE}/nlohmann" SYMBOLIC)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE "${KYR_CROSS_INCLUDE}")
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
# CLI11 is header-only too: kyrpack's command line, built for its tests.
if(KYRDECRYPT_BUILD_TESTS)
  if(NOT EXISTS "/usr/include/CLI/CLI.hpp")
    message(FATAL_ERROR "CLI11 headers not found: install libcli11-dev")
  endif()
  file(CREATE_LINK "/usr/include/CLI" "${KYR_CROSS_INCLUDE}/CLI" SYMBOLIC)
  add_library(CLI11 INTERFACE)
  target_include_directories(CLI11 SYSTEM INTERFACE "${KYR_CROSS_INCLUDE}")
  add_library(CLI11::CLI11 ALIAS CLI11)
endif()

set(KYRDECRYPT_DEPS_CACHE "/var/cache/kyrdecrypt" CACHE PATH
    "Where scripts/install-windows-deps.sh keeps Debian's zlib source package")
file(GLOB KYR_ZLIB_SOURCES LIST_DIRECTORIES true "${KYRDECRYPT_DEPS_CACHE}/zlib-src/zlib-*")
set(KYR_MINIZIP_DIR "")
foreach(candidate IN LISTS KYR_ZLIB_SOURCES)
  if(EXISTS "${candidate}/contrib/minizip/unzip.c")
    set(KYR_MINIZIP_DIR "${candidate}/contrib/minizip")
  endif()
endforeach()
if(NOT KYR_MINIZIP_DIR)
  message(FATAL_ERROR "The zlib source package was not found under ${KYRDECRYPT_DEPS_CACHE}/zlib-src: "
                      "run scripts/install-windows-deps.sh")
endif()
file(MAKE_DIRECTORY "${KYR_CROSS_INCLUDE}/minizip")
foreach(header unzip.h ioapi.h iowin32.h)
  configure_file("${KYR_MINIZIP_DIR}/${header}" "${KYR_CROSS_INCLUDE}/minizip/${header}" COPYONLY)
endforeach()
add_library(minizip STATIC
  "${KYR_MINIZIP_DIR}/unzip.c"
  "${KYR_MINIZIP_DIR}/ioapi.c"
  "${KYR_MINIZIP_DIR}/iowin32.c")
target_include_directories(minizip PUBLIC "${KYR_CROSS_INCLUDE}" PRIVATE "${KYR_CROSS_INCLUDE}/minizip")
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
# Third-party C: its warnings are not ours to fix.
target_compile_options(minizip PRIVATE -w)

if(KYRDECRYPT_BUILD_TESTS)
  # The tests make the archives they unpack with minizip's writer.
  configure_file("${KYR_MINIZIP_DIR}/zip.h" "${KYR_CROSS_INCLUDE}/minizip/zip.h" COPYONLY)
  add_library(minizip_writer STATIC "${KYR_MINIZIP_DIR}/zip.c")
  target_include_directories(minizip_writer PRIVATE "${KYR_CROSS_INCLUDE}/minizip")
  target_link_libraries(minizip_writer PUBLIC minizip)
  target_compile_options(minizip_writer PRIVATE -w)

  if(NOT EXISTS "/usr/src/googletest/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found: install googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  foreach(name gtest gtest_main gmock)
    if(NOT TARGET GTest::${name})
      add_library(GTest::${name} ALIAS ${name})
    endif()
  endforeach()
endif()

find_program(OPENSSL_EXECUTABLE openssl REQUIRED)
