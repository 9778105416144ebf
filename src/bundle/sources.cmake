target_sources(kyr_bundle PRIVATE
  bundle/bundle_command_line.cpp
  bundle/bundle_fetch.cpp
  bundle/bundle_install.cpp
  bundle/bundle_session.cpp
  bundle/bundle_tree.cpp
)
