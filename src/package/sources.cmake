target_sources(kyr_package PRIVATE
  package/decryptor_package.cpp
  package/manifest.cpp
  package/native_lib_package.cpp
  package/package_element.cpp
  package/package_element_factory.cpp
  package/package_file.cpp
  package/package_header.cpp
  package/package_install.cpp
  package/package_paths.cpp
  package/python_lib_package.cpp
  package/python_run_lib_package.cpp
  package/python_runtime_package.cpp
)
