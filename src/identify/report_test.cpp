#include "identify/report.h"

#include <gtest/gtest.h>

#include "identify/hint_index.h"

namespace Kyrowan::Identify {
namespace {

TEST(ReportTest, TextShowsEvidenceAndTheNextCommand) {
  const FamilyHints family{"kyrlock", "KyrLock", {".kyrl"}, {"read*.txt"}, {}};
  Candidate candidate{&family, 2, 0, 3, {{"0:4b59", 2}}, {{"read*.txt", 0}}, {{".kyrl", 3}}};
  IdentifyReport report{"7", IndexOrigin::Kept, false, {5, 1, 0, true}, {candidate}};
  EXPECT_EQ(RenderText(report), (std::vector<std::string>{
                                    "The server could not be reached; using the index kept on this machine (version 7).",
                                    "Scanned 5 files; 1 unreadable, skipped.",
                                    "Stopped after 6 files: the rest was not scanned.",
                                    "Candidates, best first:",
                                    "1. KyrLock (decryptor kyrlock)",
                                    "   marker 0:4b59: 2 files",
                                    "   extension .kyrl: 3 files",
                                    "   next: kyrdecrypt -get kyrlock",
                                }));
  report.candidates.clear();
  EXPECT_EQ(RenderText(report).back(), "Next: kyrdecrypt -list (the decryptors the server offers)");
}

}  // namespace
}  // namespace Kyrowan::Identify
