// Package-server requests answered from a folder laid out as a published tree.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/failure_causes.h"
#include "platform/http_client.h"
#include "platform/http_client_testing.h"
#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

void WriteTreeFile(const std::filesystem::path& root, const std::string& relative, const std::string& bytes) {
  const std::filesystem::path path = root / std::filesystem::path(relative).make_preferred();
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FolderAnswersTest, ServesTreeFilesAtTheirRequestPathsWithoutTheNetwork) {
  Testing::TempFolder tree;
  const std::string large(200000, 'x');
  WriteTreeFile(tree.Path(), "package/query/latestver/64/echo", std::string("1.1.0\0rest", 10));
  WriteTreeFile(tree.Path(), "package/download/64/echo/0.0.0", "latest copy");
  WriteTreeFile(tree.Path(), "library/download/64/util/1.0.0", large);
  WriteTreeFile(tree.Path(), "secret", "outside the download roots");
  SetHttpTransportForTesting([] {
    ADD_FAILURE() << "a request reached the network";
    return std::unique_ptr<HttpAnswerForTesting>();
  });
  AnswerFromFolder(tree.Wide());
  TakeCauses();

  int status = 0;
  std::string body;
  EXPECT_TRUE(ServerGet(L"/package/query/latestver/64/echo", {}, status, body));
  EXPECT_EQ(body, "1.1.0");
  for (const wchar_t* missing : {L"/package/query/latestver/64/other", L"/package/../secret",
                                 L"/package/download/64/echo/", L"relative"}) {
    EXPECT_FALSE(ServerGet(missing, {}, status, body)) << missing;
    EXPECT_EQ(status, 404) << missing;
    ASSERT_NE(LatestCause(), nullptr);
    EXPECT_EQ(LatestCause()->httpStatus, 404);
  }

  const std::filesystem::path target = tree.Path() / "got";
  // A decryptor asked for by its name alone is its latest copy.
  EXPECT_TRUE(ServerDownloadToFile(L"/package/download/64/echo", target.wstring()));
  EXPECT_EQ(ReadFile(target), "latest copy");
  EXPECT_FALSE(ServerDownloadToFile(L"/library/download/64/util/1.0.0", target.wstring(), 1000));
  EXPECT_EQ(ReadFile(target), "latest copy");
  EXPECT_TRUE(ServerDownloadToFile(L"/library/download/64/util/1.0.0", target.wstring()));
  EXPECT_EQ(ReadFile(target), large);

  AnswerFromFolder({});
  SetHttpTransportForTesting({});
  TakeCauses();
}

}  // namespace
}  // namespace Kyrowan::Windows
