// The client's checks of signed repository metadata, against fixtures made with the openssl
// command line (tests/trust/make_trust_fixtures.py), served from a folder as a tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/failure_causes.h"
#include "platform/http_client.h"
#include "platform/repository_trust.h"
#include "platform/signature_verifier.h"
#include "platform/text.h"
#include "tests/temp_data_root.h"
#include "tests/test_signer.h"

namespace Kyrowan::Windows {
namespace {

const std::filesystem::path kFixtures = KYR_TRUST_FIXTURES;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Causes() {
  std::string text;
  for (const FailureCause& cause : TakeCauses()) text += ToUtf8(cause.text) + "\n";
  return text;
}

// One run of a build carrying the scenario's first root, against the scenario's tree.
class TrustRun {
 public:
  explicit TrustRun(const std::string& scenario) : folder_(kFixtures / scenario) {
    const std::filesystem::path kept = folder_ / "kept-snapshot.json";
    if (std::filesystem::exists(kept)) {
      std::filesystem::create_directories(std::filesystem::path(data_.DataFolder()) / "trust");
      std::filesystem::copy_file(kept, std::filesystem::path(data_.DataFolder()) / "trust" / "snapshot.json");
    }
    ResetRepositoryTrustForTesting(ReadText(folder_ / "first-root.json"));
    AnswerFromFolder((folder_ / "tree").wstring());
    TakeCauses();
  }
  ~TrustRun() {
    AnswerFromFolder({});
    ResetRepositoryTrustForTesting("");
    TakeCauses();
  }
  bool Get(const wchar_t* path) {
    int status = 0;
    std::string body;
    return ServerGet(path, {}, status, body);
  }
  bool Download(const wchar_t* path) {
    const std::filesystem::path target = data_.Path() / "download";
    const bool fetched = ServerDownloadToFile(path, target.wstring());
    // A refused answer leaves nothing behind.
    EXPECT_EQ(fetched, std::filesystem::exists(target)) << ToUtf8(path);
    return fetched;
  }
  std::string KeptRoot() const { return ReadText(std::filesystem::path(data_.DataFolder()) / "trust" / "root.json"); }

 private:
  std::filesystem::path folder_;
  Testing::TempDataRoot data_;
};

struct TrustCase {
  const char* scenario;
  bool listServed;
  bool packageServed;
  const char* cause;  ///< part of the causes recorded; null when none is
};

TEST(RepositoryTrustTest, EveryTreeAnswerIsHeldToCurrentSignedMetadata) {
  const TrustCase cases[] = {
      {"current", true, true, nullptr},
      {"rotated", true, true, nullptr},
      {"two-keys-sign", true, true, nullptr},
      {"recovered-after-lost-snapshot-key", true, true, nullptr},
      {"snapshot-expired", false, false, "its snapshot expired at 2020-01-01T00:00:00Z, and this machine's clock says"},
      {"root-expired", false, false, "its root expired at 2020-01-01T00:00:00Z"},
      {"revoked-snapshot-key", false, false, "snapshot is not signed by enough snapshot keys"},
      {"root-not-signed-by-old-keys", false, false, "/trust/root/2.json is not signed by enough root keys"},
      {"key-listed-twice", false, false, "snapshot is not signed by enough snapshot keys"},
      {"rollback", false, false, "version 2, older than version 5 this machine has seen"},
      {"other-release", true, false, "is not the file the signed snapshot lists"},
      {"endless", true, false, "bytes, more than the 24 bytes allowed"},
  };
  for (const TrustCase& row : cases) {
    SCOPED_TRACE(row.scenario);
    TrustRun run(row.scenario);
    EXPECT_EQ(run.Get(L"/package/list/0.0.0"), row.listServed);
    EXPECT_EQ(run.Download(L"/package/download/64/echo/1.0.0"), row.packageServed);
    const std::string causes = Causes();
    if (row.cause) EXPECT_NE(causes.find(row.cause), std::string::npos) << causes;
    else EXPECT_EQ(causes, "");
  }
}

TEST(RepositoryTrustTest, ANewRootIsKeptAndAnUnlistedFileIsRefused) {
  TrustRun run("rotated");
  EXPECT_TRUE(run.Get(L"/package/list/0.0.0"));
  EXPECT_NE(run.KeptRoot().find("\"version\": 2"), std::string::npos);
  EXPECT_FALSE(run.Get(L"/package/query/latestver/64/echo"));
  EXPECT_NE(Causes().find("the signed snapshot lists no file for /package/query/latestver/64/echo"),
            std::string::npos);
}

TEST(RepositoryTrustTest, ExpiredMetadataMayBeToleratedAndIsThenNoted) {
  for (const char* scenario : {"snapshot-expired", "root-expired"}) {
    TrustRun run(scenario);
    TolerateExpiredMetadata(true);
    EXPECT_TRUE(run.Get(L"/package/list/0.0.0")) << scenario;
    EXPECT_NE(ExpiredMetadataNote().find("expired at 2020-01-01T00:00:00Z"), std::string::npos) << scenario;
    TolerateExpiredMetadata(false);
  }
}

TEST(RepositoryTrustTest, ARootsPackageKeysReplaceTheBuiltInKey) {
  const std::string text = ReadText(kFixtures / "packages-key" / "signed-text");
  const std::string rotated = ReadText(kFixtures / "packages-key" / "signature");
  SignatureVerifier* verifier = SignatureVerifier::Instance();
  ASSERT_NE(verifier, nullptr);
  const auto length = static_cast<std::uint32_t>(text.size());
  {
    TrustRun run("packages-key");
    EXPECT_TRUE(verifier->VerifyBufferSignature(text.data(), length, rotated));
    EXPECT_FALSE(verifier->VerifyBufferSignature(text.data(), length, Testing::SignWithTestKey(text)));
  }
  EXPECT_TRUE(verifier->VerifyBufferSignature(text.data(), length, Testing::SignWithTestKey(text)));
  EXPECT_FALSE(verifier->VerifyBufferSignature(text.data(), length, rotated));
}

}  // namespace
}  // namespace Kyrowan::Windows
