#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "kyrpack/command_line.h"
#include "kyrpack/trust_metadata.h"
#include "platform/key_fingerprint.h"
#include "tests/trust_test_support.h"

namespace Kyrowan::Kyrpack {
namespace {

using Json = nlohmann::json;

int Kyrpack(const std::vector<std::string>& args, std::string& err) {
  std::string out;
  return RunCommand(args, out, err);
}

Json SignedOf(const std::filesystem::path& path) { return Json::parse(Testing::ReadBytes(path))["signed"]; }

TEST(KyrpackTrustTest, RootNamesKeysBySpkiDigestAndSignsTheSortedCompactText) {
  Testing::ScratchFolder scratch;
  const std::string tree = (scratch / "tree").string();
  std::string err;
  ASSERT_EQ(Kyrpack({"trust", "init", "--repo", tree, "--root-key", KYR_TEST_PRIVATE_KEY, "--snapshot-key",
                 KYR_TEST_PUBLIC_KEY, "--packages-key", KYR_TEST_PUBLIC_KEY, "--expires-days", "30"},
                err),
            kExitOk)
      << err;
  const Json file = Json::parse(Testing::ReadBytes(scratch / "tree/trust/root/1.json"));
  std::string keyId;
  ASSERT_TRUE(Windows::PublicKeyFingerprint(Testing::ReadBytes(KYR_TEST_PUBLIC_KEY), keyId));
  const Json& root = file["signed"];
  EXPECT_EQ(root["_type"], "root");
  EXPECT_EQ(root["version"], 1);
  EXPECT_EQ(root["roles"]["root"], (Json{{"keyids", {keyId}}, {"threshold", 1}}));
  EXPECT_EQ(root["roles"]["packages"]["keyids"], Json::array({keyId}));
  EXPECT_TRUE(root["keys"][keyId]["public"].get<std::string>().starts_with("-----BEGIN PUBLIC KEY-----\n"));
  EXPECT_EQ(file["signatures"][0]["keyid"], keyId);
  // The signed text is the compact form with ascending keys, whatever order the writer used.
  const std::string text = SignedText(root);
  EXPECT_TRUE(text.starts_with("{\"_type\":\"root\",\"expires\":\"")) << text;
  EXPECT_EQ(text.find("\": "), std::string::npos) << text;
  std::string again;
  ASSERT_TRUE(SignMetadata(root, {&Testing::TestSigner()}, again, err));
  EXPECT_EQ(Json::parse(again)["signatures"], file["signatures"]);  // PKCS#1 v1.5 is deterministic
}

TEST(KyrpackTrustTest, EveryUnsoundTrustRequestIsRefused) {
  Testing::ScratchFolder scratch;
  const std::string tree = (scratch / "tree").string();
  const std::string shortKey = KYR_TEST_SHORT_PRIVATE_KEY;  // 1024 bits, too short for the metadata
  std::string err;
  ASSERT_EQ(Kyrpack({"keygen", "--out", (scratch / "other").string(), "--bits", "2048"}, err), kExitOk) << err;
  const std::string other = (scratch / "other-private.pem").string();
  const std::vector<std::string> init = {"trust", "init", "--repo", tree, "--root-key", KYR_TEST_PRIVATE_KEY,
                                         "--snapshot-key", KYR_TEST_PUBLIC_KEY};
  const auto with = [](std::vector<std::string> args, std::vector<std::string> extra) {
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {with(init, {"--root-threshold", "2"}), kExitUsage, "the root threshold 2 needs at least as many keys; 1 given"},
      {with(init, {"--snapshot-threshold", "0"}), kExitUsage, "the snapshot threshold 0 needs to be at least 1"},
      {with(init, {"--root-key", shortKey}), kExitUsage, "has 1024 bits; at least 2048 are needed"},
      {with(init, {"--expires", "2001-01-01"}), kExitUsage, "the expiry 2001-01-01 is in the past"},
      {with(init, {"--expires", "2999-02-30"}), kExitUsage, "is not an expiry date"},
      {{"keygen", "--out", (scratch / "weak").string(), "--bits", "1024"}, kExitUsage, "--bits must be at least 2048"},
      {{"trust", "snapshot", "--repo", tree, "--snapshot-key", KYR_TEST_PRIVATE_KEY}, kExitFailed, "has no root yet"},
  };
  for (const Case& c : cases) {
    err.clear();
    EXPECT_EQ(Kyrpack(c.args, err), c.code) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
  ASSERT_EQ(Kyrpack(init, err), kExitOk) << err;
  EXPECT_EQ(Kyrpack({"trust", "snapshot", "--repo", tree, "--snapshot-key", other}, err), kExitUsage);
  EXPECT_NE(err.find("is not in the snapshot role of root version 1"), std::string::npos) << err;
  EXPECT_EQ(Kyrpack({"trust", "rotate", "--repo", tree, "--old-root-key", other, "--root-key", other, "--snapshot-key",
                 KYR_TEST_PUBLIC_KEY},
                err),
            kExitFailed);
  EXPECT_NE(err.find("is not in the root role of root version 1"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(scratch / "tree/trust/root/2.json"));
}

TEST(KyrpackTrustTest, SnapshotListsEveryServedFileAndCountsUp) {
  Testing::ScratchFolder scratch;
  const std::string tree = (scratch / "tree").string();
  std::string err;
  ASSERT_EQ(Kyrpack({"trust", "init", "--repo", tree, "--root-key", KYR_TEST_PRIVATE_KEY, "--snapshot-key",
                 KYR_TEST_PUBLIC_KEY},
                err),
            kExitOk)
      << err;
  Testing::WriteBytes(scratch / "tree/package/list/0.0.0", "demo\n");
  Testing::WriteBytes(scratch / "tree/package/download/64/demo/1.0", "abc");
  Testing::WriteBytes(scratch / "tree/hints.json", "{}");
  const std::vector<std::string> snapshot = {"trust", "snapshot", "--repo", tree, "--snapshot-key",
                                             KYR_TEST_PRIVATE_KEY};
  ASSERT_EQ(Kyrpack(snapshot, err), kExitOk) << err;
  Json listed = SignedOf(scratch / "tree/trust/snapshot.json");
  EXPECT_EQ(listed["version"], 1);
  EXPECT_EQ(listed["files"],
            (Json{{"package/list/0.0.0",
                   {{"length", 5}, {"sha256", "eb9c26baee47f19e4993a77bca936d0ff09e355a82d3db79bf154ebff1a80604"}}},
                  {"package/download/64/demo/1.0",
                   {{"length", 3}, {"sha256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}}}}));
  ASSERT_EQ(Kyrpack({"trust", "rotate", "--repo", tree, "--old-root-key", KYR_TEST_PRIVATE_KEY, "--root-key",
                 KYR_TEST_PRIVATE_KEY, "--snapshot-key", KYR_TEST_PUBLIC_KEY},
                err),
            kExitOk)
      << err;
  ASSERT_EQ(Kyrpack(snapshot, err), kExitOk) << err;
  listed = SignedOf(scratch / "tree/trust/snapshot.json");
  EXPECT_EQ(listed["version"], 2);
  EXPECT_EQ(SignedOf(scratch / "tree/trust/root/2.json")["version"], 2);
}

}  // namespace
}  // namespace Kyrowan::Kyrpack
