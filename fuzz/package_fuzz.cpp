// A downloaded package file: its header is read and the signature over its payload
// checked before anything is unpacked; unpacking stays inside the destination folder.
#include <filesystem>

#include "fuzz_support.h"
#include "package/package_file.h"

using namespace Kyrowan;
using Kyrowan::Fuzzing::Require;
namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  PackageFileHeader header;
  if (ReadPackageHeader(bytes, static_cast<std::int64_t>(size), header))
    Require(kPackageHeaderSize + header.payloadLength + header.signatureLength == size, "the header covers the file");

  const fs::path sandbox = Fuzzing::Sandbox::Instance().Fresh();
  const fs::path package = sandbox / "download.kyr";
  const fs::path destination = sandbox / "package";
  Fuzzing::WriteBytes(package, std::string_view(bytes, size));
  VerifyAndUnpackPackage(package.wstring(), destination.wstring());
  // Only the package file and what was unpacked below the destination remain.
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(sandbox, error))
    Require(entry.path() == package || entry.path() == destination, "the payload's temporary archive is removed");
  return 0;
}
