#include "platform/zip_archive_reader.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/zip_test_support.h"

namespace Kyrowan::Windows {
namespace {

using Testing::ListTree;
using Testing::MakeZip;
using Testing::ReadBytes;
using Testing::ScratchFolder;
using Testing::TestEntry;
using Testing::Wide;
using Testing::WriteBytes;

class ZipArchiveReaderTest : public ::testing::Test {
 protected:
  // Writes an archive of `entries` and unpacks it into "out"; the result of ExtractAll.
  bool Unpack(const std::vector<TestEntry>& entries, std::wstring target = {}) {
    WriteBytes(zipPath(), MakeZip(scratch / "making.zip", entries));
    if (target.empty()) target = Wide(out());
    ZipArchiveReader reader(Wide(zipPath()), target);
    return reader.Open() && reader.ExtractAll();
  }
  std::filesystem::path zipPath() const { return scratch / "archive.zip"; }
  std::filesystem::path out() const { return scratch / "out"; }

  ScratchFolder scratch;
};

TEST_F(ZipArchiveReaderTest, WritesEveryEntryBelowTheTarget) {
  ASSERT_TRUE(Unpack({{"pkg/manifest.json", "{}"}, {"pkg/lib/a.py", "a"}, {"pkg\\bin\\b.txt", "b"}},
                     Wide(out()) + L"/"));
  EXPECT_EQ(ListTree(out()), (std::vector<std::string>{"pkg", "pkg/bin", "pkg/bin/b.txt", "pkg/lib", "pkg/lib/a.py",
                                                      "pkg/manifest.json"}));
  EXPECT_EQ(ReadBytes(out() / "pkg/lib/a.py"), "a");
  EXPECT_EQ(ReadBytes(out() / "pkg/bin/b.txt"), "b");
}

TEST_F(ZipArchiveReaderTest, StreamsLargeEntriesAndReplacesEarlierFiles) {
  std::string large(100000, 'x');
  for (std::size_t i = 0; i < large.size(); i += 7) large[i] = static_cast<char>('a' + i % 26);
  WriteBytes(out() / "pkg/big.bin", "older and different content");
  ASSERT_TRUE(Unpack({{"pkg/big.bin", large}}));
  EXPECT_EQ(ReadBytes(out() / "pkg/big.bin"), large);
  ASSERT_TRUE(Unpack({{"pkg/big.bin", "short"}}));
  EXPECT_EQ(ReadBytes(out() / "pkg/big.bin"), "short");
}

TEST_F(ZipArchiveReaderTest, ArchiveAndTargetMayHaveNamesOutsideAscii) {
  const auto folder = scratch.Path() / std::filesystem::path(u8"D\u00e9crypt \u0141\u00f3d\u017a");
  // From UTF-8 on every OS: a narrow path's own encoding follows the locale.
  const auto wide = [](const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return FromUtf8(std::string(text.begin(), text.end()));
  };
  WriteBytes(folder / "archive.zip", MakeZip(scratch / "making.zip", {{"pkg/a.txt", "a"}}));
  ZipArchiveReader reader(wide(folder / "archive.zip"), wide(folder / "out"));
  ASSERT_TRUE(reader.Open());
  ASSERT_TRUE(reader.ExtractAll());
  EXPECT_EQ(ReadBytes(folder / "out" / "pkg" / "a.txt"), "a");
}

TEST_F(ZipArchiveReaderTest, EveryEntryIsWrittenWithItsOwnBytes) {
  ASSERT_TRUE(Unpack({{"pkg/Readme.txt", "upper"}, {"pkg/readme.txt", "lower"}, {"pkg/twice.txt", "first"},
                      {"pkg/twice.txt", "second"}}));
#ifdef _WIN32
  // File names ignore case: the second spelling names the same file, and the later entry wins.
  EXPECT_EQ(ReadBytes(out() / "pkg/Readme.txt"), "lower");
#else
  EXPECT_EQ(ReadBytes(out() / "pkg/Readme.txt"), "upper");
#endif
  EXPECT_EQ(ReadBytes(out() / "pkg/readme.txt"), "lower");
  EXPECT_EQ(ReadBytes(out() / "pkg/twice.txt"), "second");  // a repeated name: the later entry wins
}

TEST_F(ZipArchiveReaderTest, EscapingNamesRefuseTheWholeArchive) {
  for (const std::string bad : {"../evil.txt", "pkg/../../evil.txt", "/tmp/evil.txt", "\\evil.txt", "C:/evil.txt",
                                "C:evil.txt", "..\\evil.txt", "pkg\\..\\..\\evil.txt", "pkg/..", "pkg/sub/"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(Unpack({{"pkg/good.txt", "good"}, {bad, "evil"}}));
    EXPECT_FALSE(std::filesystem::exists(out()));
    EXPECT_EQ(ListTree(scratch.Path()), std::vector<std::string>{"archive.zip"});
  }
}

TEST_F(ZipArchiveReaderTest, LinksAndSpecialFilesRefuseTheWholeArchive) {
  for (const std::uint32_t mode : {0120777u, 0040755u, 0010644u}) {
    SCOPED_TRACE(mode);
    EXPECT_FALSE(Unpack({{"pkg/good.txt", "good"}, {"pkg/link", "/etc/passwd", mode}}));
    EXPECT_FALSE(std::filesystem::exists(out()));
  }
}

TEST_F(ZipArchiveReaderTest, OverlongNamesAreRefusedBeforeWriting) {
  const std::string at260 = "pkg/" + std::string(256, 'n');
  WriteBytes(zipPath(), MakeZip(scratch / "making.zip", {{"pkg/good.txt", "good"}, {at260, "long"}}));
  ZipArchiveReader reader(Wide(zipPath()), Wide(out()));
  ASSERT_TRUE(reader.Open());
  std::vector<ZipEntry> entries;
  EXPECT_FALSE(reader.ListEntries(entries));
  EXPECT_FALSE(reader.ExtractAll());
  reader.Close();  // Windows keeps an open file from being replaced
  // Listed, but longer than the library can locate.
  EXPECT_FALSE(Unpack({{"pkg/good.txt", "good"}, {"pkg/" + std::string(252, 'n'), "long"}}));
  EXPECT_FALSE(std::filesystem::exists(out()));
  EXPECT_TRUE(Unpack({{"pkg/" + std::string(251, 'n'), "fits"}}));
}

#ifndef _WIN32
TEST_F(ZipArchiveReaderTest, InstalledFilesAre0644Or0755AndNeverWritableByOthers) {
  ASSERT_TRUE(Unpack({{"pkg/tool", "#!/bin/sh\n", 0100755}, {"pkg/setuid", "x", 0106755},
                      {"pkg/readonly", "r", 0100444}, {"pkg/plain", "p", 0100640},
                      {"pkg/open", "o", 0100666}, {"pkg/openexec", "e", 0100777}}));
  const auto mode = [&](const char* name) {
    struct stat info {};
    ::stat((out() / name).c_str(), &info);
    return info.st_mode & 07777;
  };
  EXPECT_EQ(mode("pkg/tool"), 0755u);
  EXPECT_EQ(mode("pkg/setuid"), 0755u);
  EXPECT_EQ(mode("pkg/readonly"), 0644u);  // the owner keeps writing, so a second unpack can replace it
  EXPECT_EQ(mode("pkg/plain"), 0644u);
  EXPECT_EQ(mode("pkg/open"), 0644u);
  EXPECT_EQ(mode("pkg/openexec"), 0755u);
  EXPECT_TRUE(Unpack({{"pkg/readonly", "again", 0100444}}));
  EXPECT_EQ(ReadBytes(out() / "pkg/readonly"), "again");
}
#endif

TEST_F(ZipArchiveReaderTest, ReadsOnlyTheArchiveWithinItsSpan) {
  // Whole archives on both sides: a reader that strays past either edge finds the wrong one.
  const std::string before = MakeZip(scratch / "before.zip", {{"pkg/before.txt", "before"}});
  const std::string inside = MakeZip(scratch / "inside.zip", {{"pkg/inside.txt", "inside"}});
  const std::string after = MakeZip(scratch / "after.zip", {{"pkg/after.txt", "after"}});
  WriteBytes(zipPath(), before + inside + after);
  const auto offset = static_cast<std::int64_t>(before.size());
  const auto length = static_cast<std::int64_t>(inside.size());
  const auto fileSize = static_cast<std::int64_t>((before + inside + after).size());
  {
    ZipArchiveReader reader(Wide(zipPath()), Wide(out()), offset, length);
    ASSERT_TRUE(reader.Open() && reader.ExtractAll());
  }
  EXPECT_EQ(ListTree(out()), (std::vector<std::string>{"pkg", "pkg/inside.txt"}));
  EXPECT_EQ(ReadBytes(out() / "pkg/inside.txt"), "inside");
  struct Span {
    const char* what;
    std::int64_t offset, length;
  };
  // The zip64 locator ends 22 bytes before the archive: cut one byte of it away.
  for (const Span& span : {Span{"cut short", offset, length - 23}, Span{"offset past the end", fileSize + 1, -1},
                           Span{"length past the end", offset, fileSize - offset + 1},
                           Span{"negative offset", -1, length}}) {
    SCOPED_TRACE(span.what);
    ZipArchiveReader reader(Wide(zipPath()), Wide(scratch / "refused"), span.offset, span.length);
    EXPECT_FALSE(reader.Open() && reader.ExtractAll());
    EXPECT_FALSE(std::filesystem::exists(scratch / "refused"));
  }
}

TEST_F(ZipArchiveReaderTest, UnreadableArchivesAndEmptyPathsFail) {
  WriteBytes(zipPath(), "this is not a zip archive");
  ZipArchiveReader notZip(Wide(zipPath()), Wide(out()));
  EXPECT_FALSE(notZip.Open());
  ZipArchiveReader missing(Wide(scratch / "missing.zip"), Wide(out()));
  EXPECT_FALSE(missing.Open());
  ZipArchiveReader noTarget(Wide(zipPath()), L"");
  EXPECT_FALSE(noTarget.Open());
  ZipArchiveReader closed(Wide(zipPath()), Wide(out()));
  EXPECT_FALSE(closed.ExtractAll());
  closed.Close();
  EXPECT_TRUE(closed.archivePath.empty());
  EXPECT_TRUE(closed.targetFolder.empty());
}

}  // namespace
}  // namespace Kyrowan::Windows
