// Built into a test binary whose embedded key cannot be loaded.
#include "package/package_file.h"

#include <gtest/gtest.h>

#include "platform/signature_verifier.h"
#include "tests/zip_test_support.h"

namespace Kyrowan {
namespace {

using namespace Testing;

std::string LittleEndian(std::uint64_t value, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

TEST(PackageFileWithoutKeyTest, NothingIsUnpackedWhenTheKeyCannotBeLoaded) {
  ASSERT_EQ(Windows::SignatureVerifier::Instance(), nullptr);
  ScratchFolder scratch;
  const std::string payload = MakeZip(scratch / "making.zip", {{"demo/manifest.json", "{}"}, {"demo/run.py", "1"}});
  const std::string signature(16, 'S');  // shorter than the payload, as a header needs
  WriteBytes(scratch / "1.0/demo.kpkg",
             '\x01' + LittleEndian(payload.size(), 8) + LittleEndian(signature.size(), 4) + payload + signature);
  EXPECT_FALSE(VerifyAndUnpackPackage(Wide(scratch / "1.0/demo.kpkg"), Wide(scratch / "1.0")));
  EXPECT_EQ(ListTree(scratch.Path()), (std::vector<std::string>{"1.0", "1.0/demo.kpkg"}));
}

}  // namespace
}  // namespace Kyrowan
