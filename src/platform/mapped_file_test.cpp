#include "platform/mapped_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#ifdef _WIN32
#include <sys/utime.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#include <utime.h>
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

#ifdef _WIN32
bool IsOpenDescriptor(FileHandle file) {
  DWORD flags = 0;
  return ::GetHandleInformation(reinterpret_cast<HANDLE>(file), &flags) != 0;
}
FileHandle OpenForReading(const std::filesystem::path& path) {
  return reinterpret_cast<FileHandle>(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}
void CloseFile(FileHandle file) { ::CloseHandle(reinterpret_cast<HANDLE>(file)); }
// Access and modification times in seconds; both -1 when the file cannot be looked at.
std::pair<std::int64_t, std::int64_t> Times(const std::filesystem::path& path) {
  struct _stat64 info {};
  if (_wstat64(path.c_str(), &info) != 0) return {-1, -1};
  return {info.st_atime, info.st_mtime};
}
bool SetAccessTime(const std::filesystem::path& path, std::int64_t accessed) {
  __utimbuf64 times{accessed, Times(path).second};
  return _wutime64(path.c_str(), &times) == 0;
}
// Wine reads through the host's own files, whose access times it cannot hold still.
bool RunningUnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
#else
bool IsOpenDescriptor(FileHandle fd) { return ::fcntl(static_cast<int>(fd), F_GETFD) != -1; }
FileHandle OpenForReading(const std::filesystem::path& path) { return ::open(path.c_str(), O_RDONLY); }
void CloseFile(FileHandle fd) { ::close(static_cast<int>(fd)); }
std::pair<std::int64_t, std::int64_t> Times(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {-1, -1};
  return {info.st_atime, info.st_mtime};
}
bool SetAccessTime(const std::filesystem::path& path, std::int64_t accessed) {
  const utimbuf times{static_cast<time_t>(accessed), static_cast<time_t>(Times(path).second)};
  return ::utime(path.c_str(), &times) == 0;
}
bool RunningUnderWine() { return false; }
#endif

class MappedFileTest : public ::testing::Test {
 protected:
  std::wstring Write(const std::string& name, const std::string& bytes) {
    const auto path = folder.Path() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.wstring();
  }

  Testing::TempFolder folder;
};

TEST_F(MappedFileTest, EmptyFileIsNeverMapped) {
  MappedFile file(Write("empty", ""));
  EXPECT_FALSE(file.Open());
  EXPECT_TRUE(file.empty);
  EXPECT_FALSE(file.mapped);
  EXPECT_EQ(file.data, nullptr);
  EXPECT_EQ(file.file, kInvalidFileHandle);
}

TEST_F(MappedFileTest, OneByteFile) {
  MappedFile file(Write("one", "Z"));
  ASSERT_TRUE(file.Open());
  EXPECT_TRUE(file.mapped);
  EXPECT_FALSE(file.empty);
  EXPECT_EQ(file.fileSize, 1);
  ASSERT_NE(file.data, nullptr);
  EXPECT_EQ(file.data[0], 'Z');
  EXPECT_TRUE(file.Open());  // a second Open keeps the mapping
}

TEST_F(MappedFileTest, MissingFileFolderAndEmptyPathFail) {
  MappedFile missing((folder.Path() / "missing").wstring());
  EXPECT_FALSE(missing.Open());
  EXPECT_FALSE(missing.empty);
  MappedFile directory(folder.Wide());
  EXPECT_FALSE(directory.Open());
  EXPECT_EQ(directory.file, kInvalidFileHandle);
  MappedFile nothing(L"");
  EXPECT_FALSE(nothing.Open());
}

TEST_F(MappedFileTest, ReadingLeavesTheAccessTimeAlone) {
  const std::filesystem::path path(Write("evidence", "a victim's bytes"));
  // An access time older than the last change is one that even relatime moves on a read.
  const std::int64_t accessed = Times(path).second - 3600;
  ASSERT_TRUE(SetAccessTime(path, accessed));
  {
    MappedFile file(path.wstring());
    ASSERT_TRUE(file.Open());
    std::string bytes;
    ASSERT_TRUE(ReadFileRange(file, 0, 8, bytes));
    EXPECT_EQ(std::string(file.data, 8), bytes);
  }
  if (RunningUnderWine()) GTEST_SKIP() << "Wine cannot keep a host file's access time";
  EXPECT_EQ(Times(path).first, accessed);
}

TEST_F(MappedFileTest, DestructionClosesTheFile) {
  FileHandle descriptor = kInvalidFileHandle;
  {
    MappedFile file(Write("closed", "abc"));
    ASSERT_TRUE(file.Open());
    descriptor = file.file;
    EXPECT_TRUE(IsOpenDescriptor(descriptor));
    EXPECT_EQ(std::string(file.data, static_cast<std::size_t>(file.fileSize)), "abc");
  }
  EXPECT_FALSE(IsOpenDescriptor(descriptor));
}

// The windows must join up exactly: a byte lost or repeated at a seam would be
// hashed or copied wrong; an unmapped open must still close its file.
TEST_F(MappedFileTest, ReadWindowsDeliversTheRegionInBoundedWindows) {
  std::string bytes(static_cast<std::size_t>(2 * kReadWindowSize + 3), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  FileHandle descriptor = kInvalidFileHandle;
  {
    MappedFile file(Write("large", bytes));
    ASSERT_TRUE(file.OpenUnmapped());
    descriptor = file.file;
    EXPECT_FALSE(file.mapped);
    std::string read;
    std::size_t largest = 0;
    ASSERT_TRUE(file.ReadWindows(1, file.fileSize - 1, [&](const char* data, std::size_t size) {
      read.append(data, size);
      largest = std::max(largest, size);
      return true;
    }));
    EXPECT_EQ(read, bytes.substr(1));
    EXPECT_EQ(largest, static_cast<std::size_t>(kReadWindowSize));
    EXPECT_FALSE(file.ReadWindows(0, file.fileSize + 1, [](const char*, std::size_t) { return true; }));
    EXPECT_FALSE(file.ReadWindows(0, file.fileSize, [](const char*, std::size_t) { return false; }));
  }
  EXPECT_FALSE(IsOpenDescriptor(descriptor));
}

// A file a few pages long whose byte i is (i * 7) mod 251, so every offset is recognisable.
class MapFileRegionTest : public MappedFileTest {
 protected:
  void SetUp() override {
    granularity = MappingGranularity();
    length = 3 * granularity + 123;
    for (std::int64_t i = 0; i < length; ++i) content.push_back(static_cast<char>((i * 7) % 251));
    Write("pages", content);
    descriptor = OpenForReading(folder.Path() / "pages");
    ASSERT_NE(descriptor, kInvalidFileHandle);
  }
  void TearDown() override {
    UnmapFileRegion(mapping, viewBase, viewLength);
    CloseFile(descriptor);
  }

  const char* Map(std::int64_t offset, std::int64_t size) {
    UnmapFileRegion(mapping, viewBase, viewLength);
    return MapFileRegion(descriptor, offset, size, &mapping, &viewBase, &viewLength);
  }

  std::int64_t granularity = 0;
  std::int64_t length = 0;
  std::string content;
  FileHandle descriptor = kInvalidFileHandle;
  FileHandle mapping = kInvalidFileHandle;
  const void* viewBase = nullptr;
  std::size_t viewLength = 0;
};

TEST_F(MapFileRegionTest, UnalignedOffsetPointsIntoAnAlignedView) {
  const std::int64_t offset = granularity + 7;
  const char* region = Map(offset, 100);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(region - static_cast<const char*>(viewBase), 7);
  EXPECT_EQ(viewLength, 107u);
  EXPECT_EQ(std::string(region, 100), content.substr(static_cast<std::size_t>(offset), 100));
}

TEST_F(MapFileRegionTest, RegionReachingTheLastByte) {
  const std::int64_t offset = 2 * granularity + 5;
  const char* region = Map(offset, length - offset);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(std::string(region, static_cast<std::size_t>(length - offset)),
            content.substr(static_cast<std::size_t>(offset)));
}

TEST_F(MapFileRegionTest, OffsetMinusOneMapsTheLastBytes) {
  const char* whole = Map(-1, length);
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole, viewBase);
  EXPECT_EQ(std::string(whole, static_cast<std::size_t>(length)), content);

  const char* tail = Map(-1, 10);
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(std::string(tail, 10), content.substr(static_cast<std::size_t>(length - 10)));
  EXPECT_EQ(tail - static_cast<const char*>(viewBase), (length - 10) % granularity);
}

TEST_F(MapFileRegionTest, RegionsOutsideTheFileFailWithOutputsReset) {
  for (auto [offset, size] : {std::pair<std::int64_t, std::int64_t>{length, 1}, {length - 1, 2}, {length + 1, 1},
                              {0, length + 1}, {-2, 1}, {-1, length + 1}, {0, -1}}) {
    viewBase = &content;
    viewLength = 99;
    EXPECT_EQ(MapFileRegion(descriptor, offset, size, &mapping, &viewBase, &viewLength), nullptr)
        << offset << " " << size;
    EXPECT_EQ(viewBase, nullptr);
    EXPECT_EQ(viewLength, 0u);
  }
}

TEST_F(MapFileRegionTest, BadArgumentsFailWithOutputsUntouched) {
  const void* marker = &content;
  viewBase = marker;
  EXPECT_EQ(MapFileRegion(descriptor, 0, 0, &mapping, &viewBase, &viewLength), nullptr);
  EXPECT_EQ(MapFileRegion(kInvalidFileHandle, 0, 1, &mapping, &viewBase, &viewLength), nullptr);
  EXPECT_EQ(MapFileRegion(descriptor, 0, 1, nullptr, &viewBase, &viewLength), nullptr);
  EXPECT_EQ(viewBase, marker);
  viewBase = nullptr;
}

}  // namespace
}  // namespace Kyrowan::Windows
