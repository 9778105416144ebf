target_sources(kyrcore_tests PRIVATE
  catalogue/pkg_result_test.cpp
  catalogue/version_test.cpp
  catalogue/package_catalogue_test.cpp
  catalogue/catalogue_file_test.cpp
)
if(NOT WIN32)
  # Races between processes made with fork, and a disk full through RLIMIT_FSIZE.
  target_sources(kyrcore_tests PRIVATE catalogue/catalogue_file_posix_test.cpp)
endif()
