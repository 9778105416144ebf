# Unit tests of this folder are added to kyrcore_tests here.
target_sources(kyrcore_tests PRIVATE
  identify/file_walk_test.cpp
  identify/hint_index_test.cpp
  identify/index_store_test.cpp
  identify/report_test.cpp
  identify/scoring_test.cpp
)
