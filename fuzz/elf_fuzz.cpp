// A native decryptor's library files are read for the names they need before anything
// is loaded; the file is whatever the package held.
#include "fuzz_support.h"
#include "runtime/elf_dependencies.h"

using namespace Kyrowan;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path file = Fuzzing::Sandbox::Instance().Path() / "library.so";
  Fuzzing::WriteBytes(file, std::string_view(reinterpret_cast<const char*>(data), size));
  LibraryLinkInfo info;
  if (ReadLibraryLinkInfo(file.wstring(), info)) {
    for (const auto& name : info.needed) Fuzzing::Require(!name.empty(), "no empty needed name");
  }
  return 0;
}
