# Unit tests of this folder are added to kyrcore_tests here.
target_sources(kyrcore_tests PRIVATE
  platform/signature_verifier_test.cpp
  platform/zip_archive_reader_test.cpp
)
