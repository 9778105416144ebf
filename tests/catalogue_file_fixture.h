#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/catalogue_file.h"
#include "catalogue/package_catalogue.h"
#include "platform/text.h"
#include "tests/scoped_temp.h"

namespace Kyrowan::Testing {

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

/// A catalogue file in a folder of its own, and one client run against it.
class CatalogueFileTest : public ::testing::Test {
 protected:
  std::filesystem::path File() const { return folder_.Path() / "decryptors.json"; }
  std::wstring Path() const { return Windows::FromUtf8(File().string()); }

  // One run: read the file, record versions, save.
  bool Run(const std::vector<std::pair<std::string, std::string>>& downloads) {
    PackageCatalogue loaded;
    ReadCatalogueFile(Path(), loaded);
    PackageCatalogue current = loaded;
    for (const auto& [name, version] : downloads) RecordVersion(current, name, version);
    SortCatalogueVersions(current);
    return WriteCatalogueFile(Path(), current, loaded);
  }

  TempFolder folder_;
};

}  // namespace Kyrowan::Testing
