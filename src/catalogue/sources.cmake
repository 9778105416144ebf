target_sources(kyr_catalogue PRIVATE
  catalogue/pkg_result.cpp
  catalogue/version.cpp
  catalogue/package_catalogue.cpp
  catalogue/catalogue_display.cpp
  catalogue/catalogue_file.cpp
  catalogue/server_catalogue.cpp
)
