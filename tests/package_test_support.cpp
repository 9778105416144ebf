#include "tests/package_test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace Kyrowan::Testing {

namespace fs = std::filesystem;

std::wstring NativePath(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', Windows::kPathSeparator);
  return path;
}

void WriteTestFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

template <typename Info>
void WriteSignedPackage(const std::string& filesFolder, Info& info, const std::map<std::string, std::string>& files) {
  info.files.clear();
  for (const auto& [name, content] : files) {
    WriteTestFile(filesFolder + "/" + name, content);
    info.files.push_back(FileEntry_s{name, content.empty() ? "" : SignWithTestKey(content)});
  }
  info.signature = SignWithTestKey(SignedText(info));
  WriteTestFile(filesFolder + "/manifest.json", nlohmann::json(info).dump(2));
}

template void WriteSignedPackage(const std::string&, PkgInfo_s&, const std::map<std::string, std::string>&);
template void WriteSignedPackage(const std::string&, LibPkgInfo_s&, const std::map<std::string, std::string>&);
template void WriteSignedPackage(const std::string&, RuntimePkgInfo_s&, const std::map<std::string, std::string>&);

}  // namespace Kyrowan::Testing
