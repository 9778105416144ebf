#pragma once

// Helpers for tests that unpack zip archives they make themselves.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kyrpack/zip_writer.h"

namespace Kyrowan::Testing {

/// A fresh folder under the system's temporary folder, removed with its content.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("kyrtest-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code code;
    std::filesystem::remove_all(path_, code);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline std::wstring Wide(const std::filesystem::path& path) { return path.wstring(); }

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

/// One member of a zip archive made for a test.
struct TestEntry {
  std::string name;
  std::string bytes;
  std::uint32_t mode = 0100644;
};

/// The bytes of a zip archive holding `entries` in order.
inline std::string MakeZip(const std::filesystem::path& scratchPath, const std::vector<TestEntry>& entries) {
  Kyrpack::ZipWriter zip;
  EXPECT_TRUE(zip.Open(scratchPath.string()));
  for (const TestEntry& entry : entries) EXPECT_TRUE(zip.AddEntry(entry.name, entry.bytes, entry.mode));
  EXPECT_TRUE(zip.Close());
  std::string bytes = ReadBytes(scratchPath);
  std::filesystem::remove(scratchPath);
  return bytes;
}

/// Every path below `root`, relative, sorted.
inline std::vector<std::string> ListTree(const std::filesystem::path& root) {
  std::vector<std::string> names;
  std::error_code code;
  for (std::filesystem::recursive_directory_iterator walk(root, code), end; !code && walk != end; walk.increment(code))
    names.push_back(walk->path().lexically_relative(root).generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace Kyrowan::Testing
