#include "kyrpack/identify_index.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "kyrpack/command_line.h"
#include "kyrpack/packer.h"
#include "package/package_file.h"
#include "platform/signature_verifier.h"
#include "protocol/server_protocol.h"
#include "tests/trust_test_support.h"

namespace Kyrowan::Kyrpack {
namespace {

using nlohmann::json;
using Testing::ReadBytes;
using Testing::WriteBytes;

class IdentifyIndexTest : public ::testing::Test {
 protected:
  // A decryptor version in the tree (framed as a package, not signed); the rebuild makes it published.
  void PlaceDecryptor(const std::string& name) {
    WriteBytes(scratch / "tree/package/download/64" / name / "1.0", PackageFileBytes("package " + name, {0}));
    ASSERT_EQ(RunCommand({"publish", "--rebuild", Tree()}, out, err), kExitOk) << err;
  }

  int Hints(std::vector<std::string> options, const std::string& key = KYR_TEST_PRIVATE_KEY) {
    std::vector<std::string> args = {"hints", "--key", key, "--repo", Tree()};
    args.insert(args.end(), options.begin(), options.end());
    return RunCommand(args, out, err);
  }

  // The index checked as the client checks a package file (header, then the payload
  // signature against the embedded key), and its payload read.
  json VerifiedIndex() const {
    const std::string bytes = ReadBytes(scratch / "tree/package/identify/0.0.0");
    PackageFileHeader header;
    if (!ReadPackageHeader(bytes.data(), static_cast<std::int64_t>(bytes.size()), header)) {
      ADD_FAILURE() << "no package file header";
      return {};
    }
    const auto* verifier = Windows::SignatureVerifier::Instance();
    const char* payload = bytes.data() + kPackageHeaderSize;
    EXPECT_TRUE(verifier != nullptr &&
                Windows::VerifyRsaSha1(payload, static_cast<std::uint32_t>(header.payloadLength),
                                       verifier->keyBlob.data(), verifier->keyBlobSize,
                                       reinterpret_cast<const std::uint8_t*>(payload + header.payloadLength),
                                       header.signatureLength));
    return json::parse(std::string(payload, header.payloadLength));
  }

  std::string Tree() const { return (scratch / "tree").string(); }

  Testing::ScratchFolder scratch;
  std::string out, err;
};

TEST_F(IdentifyIndexTest, HintsAreSignedIntoTheIndexAndReplacedOrRemovedPerDecryptor) {
  PlaceDecryptor("stampado");
  PlaceDecryptor("jigsaw");
  ASSERT_EQ(Hints({"--decryptor", "stampado", "--family", "Stampado", "--extension", ".stampado", "--note",
                   "HOW_TO_DECRYPT*.txt", "--marker=-4:4B59524C", "--marker", "0:00ff"}),
            kExitOk)
      << err;
  EXPECT_EQ(out, "wrote hints.json\nwrote package/identify/0.0.0\n");
  const json stampado = R"({"decryptor":"stampado","family":"Stampado","extensions":[".stampado"],
      "notes":["HOW_TO_DECRYPT*.txt"],"markers":[{"offset":-4,"hex":"4b59524c"},{"offset":0,"hex":"00ff"}]})"_json;
  EXPECT_EQ(VerifiedIndex(), json({{"version", "1"}, {"families", {stampado}}}));

  // A small index still outgrows its signature, as the package-file check demands.
  ASSERT_EQ(Hints({"--decryptor", "jigsaw", "--extension", ".fun"}), kExitOk) << err;
  const json jigsaw = R"({"decryptor":"jigsaw","family":"jigsaw","extensions":[".fun"],"notes":[],"markers":[]})"_json;
  EXPECT_EQ(VerifiedIndex(), json({{"version", "2"}, {"families", {jigsaw, stampado}}}));

  ASSERT_EQ(Hints({"--decryptor", "stampado", "--extension", ".locked"}), kExitOk) << err;
  EXPECT_EQ(VerifiedIndex()["families"][1]["extensions"], json({".locked"}));
  ASSERT_EQ(Hints({"--decryptor", "stampado", "--remove"}), kExitOk) << err;
  EXPECT_EQ(VerifiedIndex(), json({{"version", "4"}, {"families", {jigsaw}}}));
  EXPECT_EQ(json::parse(ReadBytes(scratch / "tree/hints.json")), json({{"families", {jigsaw}}}));
}

TEST_F(IdentifyIndexTest, PublishingSignsTheIndexAgainOnlyWithTheKey) {
  PlaceDecryptor("stampado");
  PlaceDecryptor("jigsaw");
  ASSERT_EQ(Hints({"--decryptor", "stampado", "--extension", ".stampado"}), kExitOk) << err;
  ASSERT_EQ(Hints({"--decryptor", "jigsaw", "--extension", ".fun"}), kExitOk) << err;
  const std::string before = ReadBytes(scratch / "tree/package/identify/0.0.0");

  // Nothing changed: the same bytes, not even a new version.
  ASSERT_EQ(RunCommand({"publish", "--rebuild", Tree(), "--key", KYR_TEST_PRIVATE_KEY}, out, err), kExitOk) << err;
  EXPECT_EQ(out, "");
  std::filesystem::remove(scratch / "tree/package/download/64/jigsaw/1.0");
  ASSERT_EQ(RunCommand({"publish", "--rebuild", Tree()}, out, err), kExitOk) << err;
  EXPECT_NE(out.find("left out of the index: hints for 'jigsaw', which the tree does not publish\n"
                     "package/identify/0.0.0 no longer matches the tree; publish with --key to sign it again\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(ReadBytes(scratch / "tree/package/identify/0.0.0"), before);

  ASSERT_EQ(RunCommand({"publish", "--rebuild", Tree(), "--key", KYR_TEST_PRIVATE_KEY}, out, err), kExitOk) << err;
  const json index = VerifiedIndex();
  EXPECT_EQ(index["version"], "3");
  ASSERT_EQ(index["families"].size(), 1u);
  EXPECT_EQ(index["families"][0]["decryptor"], "stampado");
  // The source keeps them: publishing the decryptor again brings its hints back.
  EXPECT_NE(ReadBytes(scratch / "tree/hints.json").find("jigsaw"), std::string::npos);
}

TEST_F(IdentifyIndexTest, NothingIsWrittenWhenTheHintsOrTheKeyAreRefused) {
  PlaceDecryptor("stampado");
  const std::string notAKey = (scratch / "tree/package/download/64/stampado/1.0").string();
  struct Case {
    std::vector<std::string> options;
    std::string key, message;
  };
  const Case cases[] = {
      {{"--decryptor", "unknown", "--note", "x.txt"}, KYR_TEST_PRIVATE_KEY,
       "the tree publishes no decryptor 'unknown'; publish it first"},
      {{"--decryptor", "stampado", "--remove"}, KYR_TEST_PRIVATE_KEY, "'stampado' has no hints to remove"},
      {{"--decryptor", "stampado", "--note", "x.txt"}, notAKey, "does not hold an RSA private key"},
      {{"--decryptor", "stampado", "--marker", "0:" + std::string(Protocol::kMaxIndexFileBytes, 'a')},
       KYR_TEST_PRIVATE_KEY, "bytes; clients take at most 16777216"},
  };
  const auto files = Testing::ListTree(Tree());
  for (const auto& [options, key, message] : cases) {
    SCOPED_TRACE(message);
    EXPECT_EQ(Hints(options, key), kExitFailed);
    EXPECT_NE(err.find(message), std::string::npos) << err;
  }
  EXPECT_EQ(Testing::ListTree(Tree()), files);
}

}  // namespace
}  // namespace Kyrowan::Kyrpack
