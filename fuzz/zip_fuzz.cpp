// Package payloads are zip archives. Whatever their listing says, extraction writes
// plain files below its target folder and nowhere else.
#include <algorithm>
#include <filesystem>

#include "fuzz_support.h"
#include "platform/zip_archive_reader.h"

using namespace Kyrowan;
using Kyrowan::Fuzzing::Require;
namespace fs = std::filesystem;

namespace {

// Everything in the sandbox is the archive itself or a plain file or folder below the target.
void RequireOnlyBelow(const fs::path& sandbox, const fs::path& archive, const fs::path& target) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(sandbox, fs::directory_options::none, error), end; it != end;
       it.increment(error)) {
    Require(!error, "the sandbox can be listed");
    const fs::path& path = it->path();
    Require(!it->is_symlink(), "extraction makes no link");
    if (path == archive || path == target) continue;
    const auto [mismatch, ignored] = std::mismatch(target.begin(), target.end(), path.begin(), path.end());
    Require(mismatch == target.end(), "extraction writes nothing outside its target folder");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path sandbox = Fuzzing::Sandbox::Instance().Fresh();
  const fs::path archive = sandbox / "payload.zip";
  const fs::path target = sandbox / "files";
  Fuzzing::WriteBytes(archive, std::string_view(reinterpret_cast<const char*>(data), size));

  // As the client unpacks: ExtractAll lists and judges every entry itself, so listing
  // here as well would only read every header once more.
  Windows::ZipArchiveReader reader(archive.wstring(), target.wstring());
  if (!reader.Open()) return 0;
  reader.ExtractAll();
  reader.Close();
  RequireOnlyBelow(sandbox, archive, target);
  return 0;
}
