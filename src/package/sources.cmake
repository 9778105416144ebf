# Sources of this folder are added to kyrcore here.
target_sources(kyrcore PRIVATE
  package/manifest.cpp
  package/package_file.cpp
)
