#include "identify/scoring.h"

#include <gtest/gtest.h>

#include "identify/file_sample.h"
#include "identify/hint_index.h"

namespace Kyrowan::Identify {
namespace {

TEST(ScoringTest, WildcardPatterns) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"read*.txt", "read_me.txt", true},  {"read*.txt", "read.txt", true},   {"read*.txt", "read.txt.bak", false},
      {"*.txt", "a.b.txt", true},          {"n?te", "note", true},            {"n?te", "nte", false},
      {"*a*b", "xaxxab", true},            {"*a*b", "xaxxa", false},          {"exact", "exact", true},
      {"exact", "exactly", false},         {"*", "", true},                   {"?", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

MarkerHint Marker(std::int64_t offset, const std::string& bytes) { return {offset, bytes, ""}; }

TEST(ScoringTest, MarkersMatchOnlyWhereTheSampleHoldsThem) {
  // A file of 10000 bytes: the head holds 0-4095, the tail 5904-9999.
  FileSample sample{10000, std::string(kSampleWindow, 'h'), std::string(kSampleWindow, 't')};
  sample.head.replace(0, 4, "KYRL");
  sample.tail.replace(kSampleWindow - 4, 4, "ENDM");
  const struct {
    MarkerHint marker;
    bool matches;
  } cases[] = {
      {Marker(0, "KYRL"), true},       {Marker(1, "YRL"), true},          {Marker(0, "KYRX"), false},
      {Marker(-4, "ENDM"), true},      {Marker(9996, "ENDM"), true},      {Marker(-2, "ENDM"), false},
      {Marker(4094, "hhh"), false},    {Marker(5000, "hh"), false},       {Marker(-10001, "K"), false},
      {Marker(9999, "MX"), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MarkerMatches(sample, c.marker), c.matches) << c.marker.offset << " " << c.marker.bytes;
  // A short file is all head and all tail.
  const FileSample small{6, "KYRLab", "KYRLab"};
  EXPECT_TRUE(MarkerMatches(small, Marker(-6, "KYRL")));
  EXPECT_FALSE(MarkerMatches(small, Marker(4, "abc")));
}

TEST(ScoringTest, MarkersOutweighNotesOutweighExtensionsThenNames) {
  HintIndex index;
  index.families = {
      {"beta", "Beta", {".lock"}, {}, {}},
      {"alpha", "Alpha", {".lock"}, {}, {}},
      {"noted", "Noted", {".lock"}, {"how_to_*.txt"}, {}},
      {"marked", "Marked", {}, {}, {Marker(0, "MK")}},
      {"absent", "Absent", {".none"}, {}, {}},
  };
  FamilyScores scores(index);
  const FileSample plain{2, "ab", "ab"};
  for (int i = 0; i < 3; ++i) scores.AddFile("doc.lock", plain);
  scores.AddFile("how_to_restore.txt", plain);
  scores.AddFile("data.bin", FileSample{2, "MK", "MK"});
  const std::vector<Candidate> ranked = scores.Ranked();
  std::vector<std::string> order;
  for (const Candidate& c : ranked) order.push_back(c.family->decryptor);
  EXPECT_EQ(order, (std::vector<std::string>{"marked", "noted", "alpha", "beta"}));
  EXPECT_EQ(ranked[1].extensionFiles, 3u);
  EXPECT_EQ(ranked[1].noteFiles, 1u);
  EXPECT_EQ(ranked[1].notes[0].files, 1u);
}

}  // namespace
}  // namespace Kyrowan::Identify
