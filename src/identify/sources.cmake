target_sources(kyr_identify PRIVATE
  identify/file_sample.cpp
  identify/file_walk.cpp
  identify/hint_index.cpp
  identify/identify_command.cpp
  identify/index_store.cpp
  identify/report.cpp
  identify/scoring.cpp
)
