#include "protocol/server_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Kyrowan::Protocol {
namespace {

TEST(SafePathPart, RefusesWhatCouldLeaveAFolder) {
  EXPECT_TRUE(IsSafePathPart("stampado"));
  EXPECT_TRUE(IsSafePathPart("1.0.0-beta"));
  for (const std::string& bad : std::vector<std::string>{"", "..", "a..b", "a/b", "a\\b", std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsSafePathPart(bad)) << bad;
  }
}

// A bundle and the signed snapshot name tree files by this rule, so it must agree with the server's.
TEST(TreeFilePath, RequestsMapToTheFileThatAnswersThemAndNothingElse) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/package/list/0.0.0", "package/list/0.0.0"},
      {"/package/download/64/stampado/1.0", "package/download/64/stampado/1.0"},
      {"/package/download/64/stampado", "package/download/64/stampado/0.0.0"},
      {"/library/download/64/zlib", "library/download/64/zlib"},  // only decryptors are asked for by name
      {"/trust/root/2.json", "trust/root/2.json"},
      {"/", ""},
      {"package/list/0.0.0", ""},
      {"/package/download/64/stampado/", ""},
      {"/package//list", ""},
      {"/package/download/64/../1.0", ""},
      {"/package/download/64/a\\b/1.0", ""},
  };
  for (const auto& [request, file] : cases) EXPECT_EQ(TreeFilePath(request), file) << request;
}

}  // namespace
}  // namespace Kyrowan::Protocol
