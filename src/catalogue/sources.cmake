target_sources(kyrcore PRIVATE
  catalogue/pkg_result.cpp
  catalogue/version.cpp
)
