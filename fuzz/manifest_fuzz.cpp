// Manifests come out of downloaded packages before their signature is checked: the
// reader sees them raw, and the signed text is rebuilt from what it read.
#include <string>

#include "fuzz_support.h"
#include "package/manifest.h"

using namespace Kyrowan;
using Kyrowan::Fuzzing::Require;

namespace {

// The signed text is built from the record alone: reading it back and building again
// gives the same text, or a signature could never match what the publisher signed.
template <typename Record>
void Check(const char* bytes, std::size_t length) {
  Record info;
  if (!ParseManifest(bytes, length, info)) return;
  IsComplete(info);
  const std::string text = SignedText(info);
  Record again;
  Require(ParseManifest(text.data(), text.size(), again), "the signed text reads back");
  Require(SignedText(again) == text, "the signed text is stable");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  Check<PkgInfo_s>(bytes, size);
  Check<LibPkgInfo_s>(bytes, size);
  Check<RuntimePkgInfo_s>(bytes, size);
  return 0;
}
