#include "platform/progress_line.h"

#include <gtest/gtest.h>

namespace Kyrowan::Windows {
namespace {

struct ProgressCase {
  std::uint64_t done;
  std::uint64_t total;
  double seconds;
  const char* expected;
};

TEST(ProgressLineTest, FormatsBytesPercentRateAndTimeLeft) {
  constexpr std::uint64_t kMiB = 1 << 20;
  const ProgressCase cases[] = {
      {0, 256 * kMiB, 0, "decryptor x 1.0: 0 B of 256.0 MiB (0%), --/s, --:-- left"},
      {1023, 0, 1, "decryptor x 1.0: 1023 B, 1023 B/s"},
      {64 * kMiB, 256 * kMiB, 2, "decryptor x 1.0: 64.0 MiB of 256.0 MiB (25%), 32.0 MiB/s, 0:06 left"},
      {1536, 1024 * kMiB, 1, "decryptor x 1.0: 1.5 KiB of 1.0 GiB (0%), 1.5 KiB/s, 194:10:50 left"},
      {256 * kMiB, 256 * kMiB, 4, "decryptor x 1.0: 256.0 MiB of 256.0 MiB (100%), 64.0 MiB/s, 0:00 left"},
      // More than announced: never above 100% nor a negative time.
      {300, 200, 1, "decryptor x 1.0: 300 B of 200 B (100%), 300 B/s, 0:00 left"},
  };
  for (const ProgressCase& c : cases)
    EXPECT_EQ(FormatProgress("decryptor x 1.0", c.done, c.total, c.seconds), c.expected) << c.expected;
}

TEST(ProgressLineTest, FitsTheTerminalAndKeepsTheVersion) {
  constexpr std::uint64_t kMiB = 1 << 20;
  const std::string figures = ": 64.0 MiB of 256.0 MiB (25%), 32.0 MiB/s, 0:06 left";
  const std::string label = "decryptor " + std::string(80, 'n') + " 1.2.3";
  EXPECT_EQ(FormatProgress(label, 64 * kMiB, 256 * kMiB, 2), "decryptor " + std::string(10, 'n') + "~ 1.2.3" + figures);
  EXPECT_EQ(FormatProgress(label, 64 * kMiB, 256 * kMiB, 2, 120).size(), 119u);
  // Narrower than the figures: what is fetched comes first, and the line is never longer.
  EXPECT_EQ(FormatProgress(label, 64 * kMiB, 256 * kMiB, 2, 20), "decryptor nn~ 1.2.3");
  EXPECT_EQ(FormatProgress(std::string(60, 'n'), 1, 0, 1), std::string(60, 'n') + ": 1 B, 1 B/s");
}

TEST(ProgressLineTest, DownloadLabelNamesWhatIsFetched) {
  const std::pair<const wchar_t*, const char*> cases[] = {
      {L"/package/download/64/kyrbench/1.0.0", "decryptor kyrbench 1.0.0"},
      {L"/library/download/64/zlib/1.3", "library zlib 1.3"},
      {L"/runtime/download/64/python/3.12.1", "runtime python 3.12.1"},
      {L"/odd/path", "/odd/path"},
      {L"/package/download/64/bad\x1b[2J/1", "decryptor bad?[2J 1"},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(DownloadLabel(path), expected);
}

}  // namespace
}  // namespace Kyrowan::Windows
