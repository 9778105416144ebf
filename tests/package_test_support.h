#pragma once

#include <map>
#include <string>

#include "package/manifest.h"
#include "tests/temp_data_root.h"
#include "tests/test_signer.h"

namespace Kyrowan::Testing {

/// Writes `files` (relative name → content) into `filesFolder`, lists them in
/// `info` with their signatures, signs `info` and writes it as "manifest.json".
template <typename Info>
void WriteSignedPackage(const std::string& filesFolder, Info& info, const std::map<std::string, std::string>& files);

/// `path` with each "/" turned into the platform's separator, as the package code joins paths.
std::wstring NativePath(std::wstring path);

/// Writes bytes to a file, creating its folders.
void WriteTestFile(const std::string& path, const std::string& bytes);
std::string ReadTestFile(const std::string& path);

}  // namespace Kyrowan::Testing
