#include "package/manifest.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/signature_verifier.h"
#include "tests/test_signer.h"

namespace Kyrowan {
namespace {

using nlohmann::json;
using Windows::SignatureVerifier;

PkgInfo_s SignedDecryptor() {
  PkgInfo_s info;
  info.runtime = {1, "3.11.4"};
  info.name = "demo";
  info.version = "1.2.0";
  info.module = "demo_main";
  info.run = "run";
  info.help = "help";
  info.files = {{"demo_main.py", "c2ln"}, {"lib/util.py", "c2lnMg=="}};
  info.dependencies = {{1, "requests", "2.31.0"}, {2, "kyrcommon", "0.0.0"}};
  const std::string text = SignedText(info);
  info.signature = Testing::SignWithTestKey(text);
  return info;
}

template <typename Info>
bool Parse(const std::string& text, Info& info) {
  return ParseManifest(text.data(), text.size(), info);
}

bool SignatureHolds(const PkgInfo_s& info) {
  const std::string text = SignedText(info);
  return SignatureVerifier::Instance()->VerifyBufferSignature(text.data(), static_cast<std::uint32_t>(text.size()),
                                                              info.signature);
}

TEST(ManifestTest, SignedTextIsCompactSortedAndUnsigned) {
  RuntimePkgInfo_s info;
  info.name = "python";
  info.version = "3.11.4";
  info.signature = "not part of the text";
  info.files = {{"bin/python", "c2ln"}};
  EXPECT_EQ(SignedText(info),
            R"({"files":[{"name":"bin/python","signature":"c2ln"}],"name":"python","signature":"","version":"3.11.4"})");
}

TEST(ManifestTest, PipDigestsAreSignedWhenPresentAndAbsentOtherwise) {
  LibPkgInfo_s info;
  info.runtime = {1, "0.0.0"};
  info.name = "lib";
  info.version = "1.0";
  info.files = {{"lib.py", "c2ln"}};
  info.dependencies = {{1, "pad", "2.0", {"ab12"}}, {1, "old", "1.0"}};
  const std::string text = SignedText(info);
  EXPECT_NE(text.find(R"({"name":"pad","sha256":["ab12"],"type":1,"version":"2.0"})"), std::string::npos) << text;
  EXPECT_NE(text.find(R"({"name":"old","type":1,"version":"1.0"})"), std::string::npos) << text;
  info.signature = "c2ln";
  LibPkgInfo_s read;
  ASSERT_TRUE(Parse(json(info).dump(), read));
  EXPECT_EQ(read.dependencies[0].sha256, std::vector<std::string>{"ab12"});
  EXPECT_TRUE(read.dependencies[1].sha256.empty());
}

TEST(ManifestTest, SpacingKeyOrderAndUnknownKeysKeepTheSignature) {
  const PkgInfo_s original = SignedDecryptor();
  json file = original;
  file["publisher"] = "someone";
  file["files"][0]["size"] = 12;
  // Pretty printing, the keys in reverse order and extra keys: still the same record.
  nlohmann::ordered_json reversed;
  for (auto item = file.rbegin(); item != file.rend(); ++item) reversed[item.key()] = *item;
  const std::string text = reversed.dump(4);
  ASSERT_LT(text.find("\"version\""), text.find("\"dependencies\""));
  PkgInfo_s read;
  ASSERT_TRUE(Parse(text, read)) << text;
  EXPECT_TRUE(SignatureHolds(read));

  for (const char* pointer : {"/name", "/version", "/module", "/run", "/help", "/runtime/version",
                              "/files/1/name", "/files/0/signature", "/dependencies/0/version"}) {
    SCOPED_TRACE(pointer);
    json changed = original;
    changed[json::json_pointer(pointer)] = "x";
    ASSERT_TRUE(Parse(changed.dump(), read));
    EXPECT_FALSE(SignatureHolds(read));
  }
  json changedType = original;
  changedType["runtime"]["type"] = 2;
  ASSERT_TRUE(Parse(changedType.dump(), read));
  EXPECT_FALSE(SignatureHolds(read));
}

TEST(ManifestTest, LibraryRuntimeVersionReadsAsLatest) {
  LibPkgInfo_s library;
  ASSERT_TRUE(Parse(R"({"runtime":{"type":1,"version":"3.9.1"},"name":"kyrcommon","version":"1.0",
                        "signature":"s","files":[{"name":"a.py","signature":"t"}],"dependencies":[]})",
                    library));
  EXPECT_EQ(library.runtime.version, "0.0.0");
  EXPECT_NE(SignedText(library).find(R"("runtime":{"type":1,"version":"0.0.0"})"), std::string::npos);
  PkgInfo_s decryptor;
  ASSERT_TRUE(Parse(json(SignedDecryptor()).dump(), decryptor));
  EXPECT_EQ(decryptor.runtime.version, "3.11.4");
}

TEST(ManifestTest, TypeAcceptsNumbersOnly) {
  json manifest = SignedDecryptor();
  manifest["runtime"]["type"] = 2.0;
  PkgInfo_s read;
  ASSERT_TRUE(Parse(manifest.dump(), read));
  EXPECT_EQ(read.runtime.type, 2);
  manifest["runtime"]["type"] = 2.9;
  ASSERT_TRUE(Parse(manifest.dump(), read));
  EXPECT_EQ(read.runtime.type, 2);
  // Would wrap to 2 if it were cut to 32 bits.
  manifest["runtime"]["type"] = 4294967298ull;
  EXPECT_FALSE(Parse(manifest.dump(), read));
  manifest["runtime"]["type"] = 1e300;
  EXPECT_FALSE(Parse(manifest.dump(), read));
  manifest["runtime"]["type"] = true;
  EXPECT_FALSE(Parse(manifest.dump(), read));
  manifest["runtime"]["type"] = "2";
  EXPECT_FALSE(Parse(manifest.dump(), read));
}

TEST(ManifestTest, WrongTypesAndMissingKeysFailAndLeaveTheRecord) {
  const PkgInfo_s original = SignedDecryptor();
  const std::vector<std::pair<std::string, json>> changes = {
      {"/files", json::object()},           {"/name", 7},
      {"/dependencies", "none"},            {"/files/0", "demo_main.py"},
      {"/runtime", 1},                      {"/dependencies/0/type", nullptr},
      {"/files/0/signature", json::array()}};
  for (const auto& [pointer, value] : changes) {
    SCOPED_TRACE(pointer);
    json manifest = original;
    manifest[json::json_pointer(pointer)] = value;
    PkgInfo_s read = original;
    EXPECT_FALSE(Parse(manifest.dump(), read));
    EXPECT_EQ(read.name, original.name);
  }
  for (const char* key : {"runtime", "name", "version", "signature", "module", "run", "help", "files", "dependencies"}) {
    SCOPED_TRACE(key);
    json manifest = original;
    manifest.erase(key);
    PkgInfo_s read;
    EXPECT_FALSE(Parse(manifest.dump(), read));
  }
  json noFileName = original;
  noFileName["files"][0].erase("name");
  PkgInfo_s read;
  EXPECT_FALSE(Parse(noFileName.dump(), read));
  EXPECT_FALSE(Parse("{\"name\": ", read));
  EXPECT_FALSE(Parse("[]", read));
}

TEST(ManifestTest, TextEndsAtTheFirstNul) {
  std::string text = json(SignedDecryptor()).dump();
  text += std::string("\0garbage", 8);
  PkgInfo_s read;
  ASSERT_TRUE(Parse(text, read));
  EXPECT_EQ(read.name, "demo");
}

TEST(ManifestTest, CompletenessPerKind) {
  PkgInfo_s decryptor = SignedDecryptor();
  EXPECT_TRUE(IsComplete(decryptor));
  decryptor.runtime.type = 0;
  EXPECT_FALSE(IsComplete(decryptor));
  decryptor = SignedDecryptor();
  decryptor.help.clear();
  EXPECT_FALSE(IsComplete(decryptor));
  decryptor = SignedDecryptor();
  decryptor.files.clear();
  EXPECT_FALSE(IsComplete(decryptor));

  LibPkgInfo_s library{{2, "0.0.0"}, "native-lib", "1.0", "sig", {{"lib.so", "s"}}, {}};
  EXPECT_TRUE(IsComplete(library));
  library.runtime.type = 3;
  EXPECT_FALSE(IsComplete(library));

  RuntimePkgInfo_s runtime{"python", "3.11.4", "sig", {{"bin/python", "s"}}};
  EXPECT_TRUE(IsComplete(runtime));
  runtime.signature.clear();
  EXPECT_FALSE(IsComplete(runtime));
}

}  // namespace
}  // namespace Kyrowan
