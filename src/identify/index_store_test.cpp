#include "identify/index_store.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/fake_http_answer.h"
#include "tests/package_test_support.h"
#include "tests/test_signer.h"
#include "tests/zip_test_support.h"

namespace Kyrowan::Identify {
namespace {

using Testing::ReadBytes;
using Testing::WriteBytes;

// Padded past the 512-byte signature, which a package file's payload must outgrow.
std::string SignedIndex(const std::string& version) {
  return Testing::MakePackage(R"({"version":")" + version + R"(","families":[{"decryptor":"kyrlock"}]})" +
                              std::string(600, ' '));
}

std::string Tampered(std::string bytes) {
  bytes[20] = bytes[20] == ' ' ? '\t' : ' ';
  return bytes;
}

class IndexStoreTest : public ::testing::Test {
 protected:
  ~IndexStoreTest() override { Testing::SetFakeHttpAnswer(nullptr); }

  std::string keptPath() const { return root.DataRoot() + "/data/identify-index.kpkg"; }
  void ServerAnswers(long status, const std::string& body) {
    answer = {status, static_cast<std::int64_t>(body.size()), {body}};
    Testing::SetFakeHttpAnswer(&answer);
  }

  Testing::TempDataRoot root;
  Testing::FakeHttpAnswer answer;
  ObtainedIndex obtained;
};

TEST_F(IndexStoreTest, LoadsOnlyASignedIndex) {
  const std::string path = root.Folder() + "/index.kpkg";
  HintIndex index;
  EXPECT_EQ(LoadSignedIndex(Windows::FromUtf8(path), index), IndexLoad::Missing);
  const struct {
    std::string bytes;
    IndexLoad load;
  } cases[] = {
      {SignedIndex("1"), IndexLoad::Loaded},
      {Tampered(SignedIndex("1")), IndexLoad::Refused},
      {Testing::MakePackage(std::string(600, 'x')), IndexLoad::Refused},  // signed, but not an index
      {"", IndexLoad::Refused},
  };
  for (const auto& c : cases) {
    WriteBytes(path, c.bytes);
    EXPECT_EQ(LoadSignedIndex(Windows::FromUtf8(path), index), c.load);
  }
}

TEST_F(IndexStoreTest, KeepsTheServersVerifiedIndex) {
  const std::string served = SignedIndex("2");
  ServerAnswers(200, served);
  ASSERT_EQ(ObtainIndex(obtained), IndexFailure::None);
  EXPECT_EQ(obtained.origin, IndexOrigin::Server);
  EXPECT_EQ(obtained.index.version, "2");
  EXPECT_EQ(ReadBytes(keptPath()), served);
  EXPECT_EQ(Testing::ListTree(root.DataRoot() + "/data"), std::vector<std::string>{"identify-index.kpkg"});
}

TEST_F(IndexStoreTest, UsesTheKeptIndexWhenTheServersIsMissingOrRefused) {
  const std::string kept = SignedIndex("1");
  WriteBytes(keptPath(), kept);
  for (const bool tampered : {false, true}) {
    ServerAnswers(tampered ? 200 : 404, tampered ? Tampered(SignedIndex("2")) : "");
    ASSERT_EQ(ObtainIndex(obtained), IndexFailure::None);
    EXPECT_EQ(obtained.origin, IndexOrigin::Kept);
    EXPECT_EQ(obtained.serverRefused, tampered);
    EXPECT_EQ(obtained.index.version, "1");
    EXPECT_EQ(Testing::ListTree(root.DataRoot() + "/data"), std::vector<std::string>{"identify-index.kpkg"});
    EXPECT_EQ(ReadBytes(keptPath()), kept);
  }
  WriteBytes(keptPath(), Tampered(kept));
  EXPECT_EQ(ObtainIndex(obtained), IndexFailure::Refused);
}

TEST_F(IndexStoreTest, AnAnswerAnnouncingMoreThanTheCapIsNotRead) {
  // What arrives would verify: only the announced length can have refused it.
  answer = {200, 300 << 20, {SignedIndex("2")}};
  Testing::SetFakeHttpAnswer(&answer);
  EXPECT_EQ(ObtainIndex(obtained), IndexFailure::Unavailable);
  EXPECT_EQ(Testing::ListTree(root.DataRoot() + "/data"), std::vector<std::string>{});
}

TEST_F(IndexStoreTest, WithoutServerOrKeptIndexThereIsNone) {
  ServerAnswers(0, "");
  EXPECT_EQ(ObtainIndex(obtained), IndexFailure::Unavailable);
}

}  // namespace
}  // namespace Kyrowan::Identify
