#include "package/package_file.h"

#include <gtest/gtest.h>

#include "tests/test_signer.h"
#include "tests/zip_test_support.h"

namespace Kyrowan {
namespace {

using Testing::ListTree;
using Testing::MakePackage;
using Testing::MakeZip;
using Testing::NoiseText;
using Testing::ReadBytes;
using Testing::ScratchFolder;
using Testing::Wide;
using Testing::WriteBytes;

class PackageFileTest : public ::testing::Test {
 protected:
  std::string ValidPackage() {
    return MakePackage(
        MakeZip(scratch / "making.zip", {{"demo/manifest.json", NoiseText(1000)}, {"demo/run.py", "print(1)"}}));
  }
  // Writes `bytes` as the package file and unpacks it into the version folder beside it.
  bool Unpack(const std::string& bytes) {
    WriteBytes(packagePath(), bytes);
    return VerifyAndUnpackPackage(Wide(packagePath()), Wide(scratch / "1.0"));
  }
  std::filesystem::path packagePath() const { return scratch / "1.0/demo.kpkg"; }
  // Nothing but the package file (and what the test put there) exists after a refusal.
  void ExpectNothingWritten() const {
    EXPECT_EQ(ListTree(scratch.Path()), (std::vector<std::string>{"1.0", "1.0/demo.kpkg"}));
  }

  ScratchFolder scratch;
};

void SetLittleEndian(std::string& bytes, std::size_t offset, int count, std::uint64_t value) {
  for (int i = 0; i < count; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST_F(PackageFileTest, UnpacksAVerifiedPackageInPlaceLeavingOnlyItsFiles) {
  ASSERT_TRUE(Unpack(ValidPackage()));
  EXPECT_EQ(ListTree(scratch / "1.0"),
            (std::vector<std::string>{"demo", "demo.kpkg", "demo/manifest.json", "demo/run.py"}));
  EXPECT_EQ(ReadBytes(scratch / "1.0/demo/run.py"), "print(1)");
}

TEST_F(PackageFileTest, HeaderRulesRefuseWithoutWriting) {
  const std::string valid = ValidPackage();
  const std::uint64_t payload = valid.size() - kPackageHeaderSize - 512;
  std::vector<std::pair<std::string, std::string>> cases;
  cases.emplace_back("12 bytes", valid.substr(0, 12));
  cases.emplace_back("one extra byte", valid + '\0');
  cases.emplace_back("one byte short", valid.substr(0, valid.size() - 1));
  for (const int format : {0, 4, 255}) {
    std::string bytes = valid;
    bytes[0] = static_cast<char>(format);
    cases.emplace_back("format " + std::to_string(format), bytes);
  }
  std::string sameLengths = valid.substr(0, kPackageHeaderSize) + std::string(2 * 600, 'z');
  SetLittleEndian(sameLengths, 1, 8, 600);
  SetLittleEndian(sameLengths, 9, 4, 600);
  cases.emplace_back("S equal to P", sameLengths);
  std::string noSignature = valid.substr(0, valid.size() - 512);
  SetLittleEndian(noSignature, 9, 4, 0);
  cases.emplace_back("S zero", noSignature);
  std::string noPayload = valid.substr(0, kPackageHeaderSize) + valid.substr(valid.size() - 512);
  SetLittleEndian(noPayload, 1, 8, 0);
  cases.emplace_back("P zero", noPayload);
  // A length that only fits once 13 + P + S wraps around 64 bits.
  std::string wrapping = valid;
  const std::uint32_t hugeSignature = 0xFFFFFF00u;
  SetLittleEndian(wrapping, 1, 8, std::uint64_t{valid.size()} - kPackageHeaderSize - hugeSignature);
  SetLittleEndian(wrapping, 9, 4, hugeSignature);
  cases.emplace_back("wrapping P", wrapping);
  std::string altered = valid;
  altered[kPackageHeaderSize + payload / 2] ^= 0x01;
  cases.emplace_back("altered payload", altered);
  std::string alteredSignature = valid;
  alteredSignature[valid.size() - 1] ^= 0x01;
  cases.emplace_back("altered signature", alteredSignature);
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(Unpack(bytes));
    ExpectNothingWritten();
  }
}

TEST_F(PackageFileTest, PayloadsOf4GiBOrMoreAreRefusedBeforeAnythingElse) {
  PackageFileHeader header;
  std::string bytes(kPackageHeaderSize, '\0');
  bytes[0] = 1;
  SetLittleEndian(bytes, 1, 8, std::uint64_t{1} << 32);
  SetLittleEndian(bytes, 9, 4, 512);
  // The header alone decides: a file of the size it claims would be 4 GiB long.
  EXPECT_FALSE(ReadPackageHeader(bytes.data(), kPackageHeaderSize + (std::int64_t{1} << 32) + 512, header));
  SetLittleEndian(bytes, 1, 8, 0xFFFFFFFFu);
  EXPECT_TRUE(ReadPackageHeader(bytes.data(), kPackageHeaderSize + 0xFFFFFFFFll + 512, header));
  EXPECT_EQ(header.payloadLength, 0xFFFFFFFFu);
}

TEST_F(PackageFileTest, MissingOrEmptyPackageFails) {
  EXPECT_FALSE(VerifyAndUnpackPackage(Wide(scratch / "missing.kpkg"), Wide(scratch / "out")));
  EXPECT_FALSE(Unpack(""));
  ExpectNothingWritten();
}

TEST_F(PackageFileTest, SignedArchiveWithEscapingEntryWritesNothing) {
  const std::string payload =
      MakeZip(scratch / "making.zip", {{"demo/manifest.json", NoiseText(1000)}, {"demo/../../escaped.txt", "evil"}});
  EXPECT_FALSE(Unpack(MakePackage(payload)));
  ExpectNothingWritten();
}

}  // namespace
}  // namespace Kyrowan
