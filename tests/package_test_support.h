#pragma once

#include <map>
#include <string>

#include "package/manifest.h"
#include "tests/scoped_temp.h"

namespace Kyrowan::Testing {

/// PROGRAMDATA pointed at a fresh temporary folder for the life of the object.
class TemporaryDataRoot {
 public:
  /// The temporary folder standing for the application-data folder.
  std::string Folder() const { return folder.Path().string(); }
  /// The data root inside it (".../Kyrowan/KyrDecrypt").
  std::string DataRoot() const { return Folder() + "/Kyrowan/KyrDecrypt"; }

 private:
  TempFolder folder;
  ScopedEnv programData{"PROGRAMDATA", folder.Path().string()};
};

/// Base64 signature of `bytes` with the test signing key, stored least-significant byte first.
std::string SignWithTestKey(const std::string& bytes);

/// Writes `files` (relative name → content) into `filesFolder`, lists them in
/// `info` with their signatures, signs `info` and writes it as "manifest.json".
template <typename Info>
void WriteSignedPackage(const std::string& filesFolder, Info& info, const std::map<std::string, std::string>& files);

/// Writes bytes to a file, creating its folders.
void WriteTestFile(const std::string& path, const std::string& bytes);
std::string ReadTestFile(const std::string& path);

}  // namespace Kyrowan::Testing
