target_sources(kyrcore_tests PRIVATE
  catalogue/pkg_result_test.cpp
  catalogue/version_test.cpp
  catalogue/package_catalogue_test.cpp
)
if(NOT WIN32)
  # Races between processes made with fork.
  target_sources(kyrcore_tests PRIVATE catalogue/catalogue_file_test.cpp)
endif()
