// Catalogues come from the server and from the local file, which any earlier run, a
// crash or another program may have left in any state. Whatever the file held, the
// catalogue written must read back as exactly what was meant to be written.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <string>

#include "catalogue/catalogue_file.h"
#include "catalogue/package_catalogue.h"
#include "fuzz_support.h"

using namespace Kyrowan;
using Kyrowan::Fuzzing::Require;

namespace {

bool Equal(const PackageCatalogue& a, const PackageCatalogue& b) {
  if (a.version != b.version || a.packages.size() != b.packages.size()) return false;
  for (std::size_t i = 0; i < a.packages.size(); ++i)
    if (a.packages[i].name != b.packages[i].name || a.packages[i].versions != b.packages[i].versions) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // -list output is built but not wanted on the terminal.
  Require(std::freopen("/dev/null", "w", stdout) != nullptr, "stdout can be silenced");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string serverText = input.ConsumeRandomLengthString(4096);
  const std::string fileBytes = input.ConsumeRemainingBytesAsString();

  PackageCatalogue server;
  if (ParseCatalogue(serverText, server)) {
    SortCatalogueVersions(server);
    std::string text;
    Require(SerializeCatalogue(server, text), "a read catalogue can be written");
    PackageCatalogue again;
    Require(ParseCatalogue(text, again), "a written catalogue reads back");
    SortCatalogueVersions(again);
    Require(Equal(server, again), "a written catalogue reads back equal");
  }

  const std::filesystem::path folder = Fuzzing::Sandbox::Instance().Fresh();
  const std::wstring path = (folder / "catalogue.json").wstring();
  Fuzzing::WriteBytes(folder / "catalogue.json", fileBytes);
  PackageCatalogue loaded;
  const bool readable = ReadCatalogueFile(path, loaded);

  PackageCatalogue display;
  MergeForDisplay(loaded, server, display);
  PrintCatalogue(display);

  // This run downloaded what the server lists, on top of what it had loaded.
  PackageCatalogue current = loaded;
  for (const auto& entry : server.packages)
    for (const auto& version : entry.versions) RecordVersion(current, entry.name, version);
  SortCatalogueVersions(current);
  Require(WriteCatalogueFile(path, current, loaded), "the catalogue can be written");

  PackageCatalogue back;
  Require(ReadCatalogueFile(path, back), "the written catalogue reads back");
  // Nobody else wrote in between, so the merge with the file adds nothing to `current`.
  Require(Equal(back, current), readable ? "a merged catalogue reads back equal" : "a replaced catalogue reads back equal");
  return 0;
}
