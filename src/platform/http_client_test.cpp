#include "platform/http_client.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/failure_causes.h"
#include "platform/http_client_testing.h"
#include "platform/text.h"
#include "tests/tls_test_server.h"

namespace Kyrowan::Windows {
namespace {

using Testing::TlsTestServer;

const std::string kTlsDir = KYR_TEST_TLS_DIR;
// The servers' certificate names 127.0.0.1 by address and as localhost; WinINet under Wine
// matches the DNS name only.
const std::string kHost = "localhost";

std::string Answer(int status, const std::string& body, const std::string& extraHeaders = "") {
  return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Piece {
  std::uint32_t count;
  std::uint32_t status;
};

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    endpoint_ = {FromUtf8(kHost), server_.Port(), kTlsDir + "/ca-cert.pem"};
    SetPackageServerForTesting(&endpoint_);
    folder_ = std::filesystem::temp_directory_path() /
              ("kyr-http-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    SetPackageServerForTesting(nullptr);
    SetHttpLimitsForTesting(HttpLimits{});
    std::filesystem::remove_all(folder_);
  }

  // Streams a GET and records every piece the sink was handed, and the bytes.
  bool Stream(std::vector<Piece>& pieces, std::string& bytes) {
    return HttpGetStreamed(endpoint_, L"/stream", kUserAgent, {},
                           [&](std::vector<char>& buffer, std::uint32_t count, std::uint32_t status) {
                             pieces.push_back({count, status});
                             bytes.append(buffer.data(), count);
                           });
  }

  TlsTestServer server_{kTlsDir + "/server-cert.pem", kTlsDir + "/server-key.pem"};
  ServerEndpoint endpoint_;
  std::filesystem::path folder_;
};

TEST_F(HttpClientTest, GetSendsFixedHeadersThenCallerLinesInOrder) {
  server_.SetAnswer(Answer(200, "1.2.0"));
  int status = 0;
  std::string body;
  ASSERT_TRUE(HttpGetToString(endpoint_, L"/package/query/latestver/64/x", kUserAgent,
                              {L"X-First: 1", L"X-Second: 2"}, status, body));
  EXPECT_EQ(status, 200);
  EXPECT_EQ(body, "1.2.0");
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& request = requests[0];
  EXPECT_EQ(request.rfind("GET /package/query/latestver/64/x HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nUser-Agent: KyrDecrypt/ORIN\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\nAccept: */*\r\n"), std::string::npos);
  const auto noCache = request.find("\r\nCache-Control: no-cache\r\n");
  const auto pragma = request.find("\r\nPragma: no-cache\r\n");
  const auto first = request.find("\r\nX-First: 1\r\n");
  const auto second = request.find("\r\nX-Second: 2\r\n");
  ASSERT_NE(noCache, std::string::npos);
  ASSERT_NE(pragma, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
}

TEST_F(HttpClientTest, TextAnswersAreCutAtTheFirstNulAndKeepTheirStatus) {
  server_.SetAnswer(Answer(200, std::string("abc\0def", 7)));
  int status = 0;
  std::string body;
  ASSERT_TRUE(HttpGetToString(endpoint_, L"/t", kUserAgent, {}, status, body));
  EXPECT_EQ(body, "abc");

  server_.SetAnswer(Answer(404, "missing"));
  ASSERT_TRUE(HttpGetToString(endpoint_, L"/t", kUserAgent, {}, status, body));
  EXPECT_EQ(status, 404);
  EXPECT_EQ(body, "missing");
  EXPECT_FALSE(ServerGet(L"/t", {}, status, body));
  EXPECT_EQ(status, 404);
}

TEST_F(HttpClientTest, AnswersWithoutContentLengthFailBothReaders) {
  const std::string lengthless = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nbody";
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nbody\r\n0\r\n\r\n";
  const std::string chunkedWithLength =
      "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nbody\r\n0\r\n\r\n";
  for (const std::string& answer : {lengthless, chunked, chunkedWithLength}) {
    server_.SetAnswer(answer);
    int status = 0;
    std::string body = "stale";
    EXPECT_FALSE(HttpGetToString(endpoint_, L"/t", kUserAgent, {}, status, body)) << answer;
    EXPECT_EQ(body, "");
    std::vector<Piece> pieces;
    std::string bytes;
    EXPECT_FALSE(Stream(pieces, bytes)) << answer;
    EXPECT_TRUE(pieces.empty());
  }
}

TEST_F(HttpClientTest, EmptyAnswerCallsTheSinkOnceWithZero) {
  server_.SetAnswer(Answer(200, ""));
  std::vector<Piece> pieces;
  std::string bytes;
  ASSERT_TRUE(Stream(pieces, bytes));
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].count, 0u);
  EXPECT_EQ(pieces[0].status, 200u);
}

TEST_F(HttpClientTest, LargeBodiesArriveInPiecesOfAtMost64KiB) {
  std::string body(150000, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
  server_.SetAnswer(Answer(200, body));
  std::vector<Piece> pieces;
  std::string bytes;
  ASSERT_TRUE(Stream(pieces, bytes));
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].count, 65536u);
  EXPECT_EQ(pieces[1].count, 65536u);
  EXPECT_EQ(pieces[2].count, 150000u - 2 * 65536u);
  EXPECT_EQ(bytes, body);
}

TEST_F(HttpClientTest, ShortBodyFailsADownloadButStillReadsAsText) {
  server_.SetAnswer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nonly this");
  std::vector<Piece> pieces;
  std::string bytes;
  EXPECT_FALSE(Stream(pieces, bytes));
  EXPECT_EQ(bytes, "only this");
  EXPECT_FALSE(ServerDownloadToFile(L"/package/download/64/x/1.0.0", FromUtf8((folder_ / "cut.kpkg").string())));
  EXPECT_TRUE(std::filesystem::is_empty(folder_));  // no partial file, no temporary
  int status = 0;
  std::string body;
  ASSERT_TRUE(HttpGetToString(endpoint_, L"/t", kUserAgent, {}, status, body));
  EXPECT_EQ(body, "only this");
}

TEST_F(HttpClientTest, ContentLengthOf4GiBIsRefusedBeforeAnythingIsWritten) {
  server_.SetAnswer("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\nConnection: close\r\n\r\nsome bytes");
  const std::filesystem::path target = folder_ / "big.kpkg";
  EXPECT_FALSE(ServerDownloadToFile(L"/package/download/64/big", FromUtf8(target.string())));
  EXPECT_TRUE(std::filesystem::is_empty(folder_));
  int status = 0;
  std::string body;
  EXPECT_FALSE(HttpGetToString(endpoint_, L"/t", kUserAgent, {}, status, body));
}

TEST_F(HttpClientTest, DownloadWritesOnlyTheBodyOfA200Answer) {
  const std::filesystem::path target = folder_ / "pkg.kpkg";
  server_.SetAnswer(Answer(404, "not here"));
  EXPECT_FALSE(ServerDownloadToFile(L"/package/download/64/x/1.0.0", FromUtf8(target.string())));
  EXPECT_TRUE(std::filesystem::is_empty(folder_));

  server_.SetAnswer(Answer(200, "package bytes"));
  EXPECT_TRUE(ServerDownloadToFile(L"/package/download/64/x/1.0.0", FromUtf8(target.string())));
  EXPECT_EQ(ReadFile(target), "package bytes");
  EXPECT_EQ(server_.Requests().back().rfind("GET /package/download/64/x/1.0.0 HTTP/1.1\r\n", 0), 0u);
}

TEST_F(HttpClientTest, PutBodyIsLimitedTo16383BytesCheckedBeforeConnecting) {
  server_.SetAnswer(Answer(200, "stored"));
  int status = 0;
  std::string response;
  const std::string tooLarge(16384, 'x');
  EXPECT_EQ(HttpPutBody(tooLarge.data(), 16384, endpoint_, L"/telemetry/upload", kUserAgent, {}, status, response), 2);
  EXPECT_EQ(status, 400);
  EXPECT_EQ(server_.Connections(), 0);
  EXPECT_EQ(HttpPutBody(tooLarge.data(), 0, endpoint_, L"/telemetry/upload", kUserAgent, {}, status, response), 0);

  const std::string largest(16383, 'y');
  EXPECT_EQ(HttpPutBody(largest.data(), 16383, endpoint_, L"/telemetry/upload", kUserAgent,
                        {L"Content-Type: application/json"}, status, response),
            1);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(response, "stored");
  const std::string request = server_.Requests().at(0);
  EXPECT_EQ(request.rfind("PUT /telemetry/upload HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(request.find("\r\nContent-Type: application/json\r\n"), std::string::npos);
  EXPECT_EQ(request.find("Expect:"), std::string::npos);
  EXPECT_EQ(request.substr(request.size() - largest.size()), largest);
}

TEST_F(HttpClientTest, ErrorAndRedirectStatusesOfAPutAreItsAnswer) {
  TlsTestServer elsewhere(kTlsDir + "/server-cert.pem", kTlsDir + "/server-key.pem");
  ASSERT_TRUE(elsewhere.Start());
  elsewhere.SetAnswer(Answer(200, "taken"));
  const std::string location = "Location: https://" + kHost + ":" + std::to_string(elsewhere.Port()) + "/x\r\n";
  for (const int code : {400, 301, 302, 303, 307, 308}) {
    server_.SetAnswer(Answer(code, "", location));
    int status = 0;
    std::string response;
    EXPECT_EQ(HttpPutBody("{}", 2, endpoint_, L"/telemetry/upload", kUserAgent, {}, status, response), 1) << code;
    EXPECT_EQ(status, code);
  }
  // Neither the body sent on nor a GET whose 200 would read as delivered.
  EXPECT_EQ(elsewhere.Connections(), 0);
}

TEST(HttpClientTrust, UntrustedCertificatesAreRefused) {
  TlsTestServer stranger(kTlsDir + "/other-cert.pem", kTlsDir + "/other-key.pem");
  ASSERT_TRUE(stranger.Start());
  stranger.SetAnswer(Answer(200, "should never be read"));
  int status = 0;
  std::string body;
  // Neither the test CA nor the system's trust store vouches for this certificate.
  for (const std::string& bundle : {kTlsDir + "/ca-cert.pem", std::string()}) {
    const ServerEndpoint endpoint{FromUtf8(kHost), stranger.Port(), bundle};
    EXPECT_FALSE(HttpGetToString(endpoint, L"/t", kUserAgent, {}, status, body)) << bundle;
    EXPECT_EQ(status, 400);
    EXPECT_EQ(HttpPutBody("{}", 2, endpoint, L"/telemetry/upload", kUserAgent, {}, status, body), 0);
  }
  EXPECT_TRUE(stranger.Requests().empty());
}

TEST_F(HttpClientTest, StalledServersFailInsteadOfHanging) {
  SetHttpLimitsForTesting(HttpLimits{1, 1, 1});
  const std::string cutOff = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart";
  const std::pair<TlsTestServer::Mode, std::string> stalls[] = {
      {TlsTestServer::Mode::StallBeforeHandshake, ""},
      {TlsTestServer::Mode::StallAfterRequest, ""},
      {TlsTestServer::Mode::StallAfterAnswer, cutOff},
  };
  for (const auto& [mode, answer] : stalls) {
    server_.SetAnswer(answer, mode);
    const auto started = std::chrono::steady_clock::now();
    std::vector<Piece> pieces;
    std::string bytes;
    TakeCauses();
    EXPECT_FALSE(Stream(pieces, bytes)) << static_cast<int>(mode);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    ASSERT_NE(LatestCause(), nullptr);
    EXPECT_NE(LatestCause()->text.find(L"stopped answering (timed out)"), std::wstring::npos) << static_cast<int>(mode);
  }
}

TEST_F(HttpClientTest, DownloadNeverWritesThroughALinkPlantedAtTheTarget) {
  const std::filesystem::path target = folder_ / "pkg.zip";
  std::ofstream(folder_ / "victim") << "victim";
  std::filesystem::create_symlink(folder_ / "victim", target);
  server_.SetAnswer(Answer(200, "package bytes"));
  EXPECT_TRUE(ServerDownloadToFile(L"/package/download/64/x/1.0.0", FromUtf8(target.string())));
  EXPECT_EQ(ReadFile(folder_ / "victim"), "victim");
  EXPECT_FALSE(std::filesystem::is_symlink(target));
  EXPECT_EQ(ReadFile(target), "package bytes");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 2);  // no temporary left
}

TEST_F(HttpClientTest, RedirectsAreFollowedOverHttpsToAnyHostUpToFiveTimes) {
  TlsTestServer mirror(kTlsDir + "/server-cert.pem", kTlsDir + "/server-key.pem");
  ASSERT_TRUE(mirror.Start());
  mirror.SetAnswer(Answer(200, "from the mirror"));
  const auto redirect = [](const std::string& location) {
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  };
  const std::string mirrorUrl = "https://" + kHost + ":" + std::to_string(mirror.Port()) + "/mirror/pkg";
  server_.SetAnswer(redirect(mirrorUrl));
  const std::filesystem::path target = folder_ / "pkg.kpkg";
  EXPECT_TRUE(ServerDownloadToFile(L"/package/download/64/x/1.0.0", FromUtf8(target.string())));
  EXPECT_EQ(ReadFile(target), "from the mirror");
  int status = 0;
  std::string body;
  EXPECT_TRUE(ServerGet(L"/package/query/latestver/64/x", {}, status, body));
  EXPECT_EQ(body, "from the mirror");
  ASSERT_EQ(mirror.Requests().size(), 2u);
  EXPECT_EQ(mirror.Requests()[0].rfind("GET /mirror/pkg HTTP/1.1\r\n", 0), 0u);

  // Plain HTTP is never followed, nor a sixth redirect.
  server_.SetAnswer(redirect("http://" + kHost + ":" + std::to_string(mirror.Port()) + "/plain"));
  EXPECT_FALSE(ServerGet(L"/t", {}, status, body));
  EXPECT_EQ(mirror.Requests().size(), 2u);
  server_.SetAnswer(redirect("https://" + kHost + ":" + std::to_string(server_.Port()) + "/again"));
  const int before = server_.Connections();
  EXPECT_FALSE(ServerGet(L"/t", {}, status, body));
  EXPECT_EQ(server_.Connections() - before, 6);
}

TEST_F(HttpClientTest, TextAnswersOverTheSizeLimitAreRefusedButDownloadsAreNot) {
  HttpLimits limits;
  limits.maxTextBytes = 10;
  SetHttpLimitsForTesting(limits);
  int status = 0;
  std::string body;
  server_.SetAnswer(Answer(200, "0123456789"));
  EXPECT_TRUE(HttpGetToString(endpoint_, L"/t", kUserAgent, {}, status, body));
  server_.SetAnswer(Answer(200, "0123456789A"));
  EXPECT_FALSE(HttpGetToString(endpoint_, L"/t", kUserAgent, {}, status, body));
  EXPECT_EQ(body, "");
  EXPECT_EQ(HttpPutBody("{}", 2, endpoint_, L"/telemetry/upload", kUserAgent, {}, status, body), 1);
  EXPECT_EQ(body, "");
  std::vector<Piece> pieces;
  std::string bytes;
  EXPECT_TRUE(Stream(pieces, bytes));
  EXPECT_EQ(bytes, "0123456789A");
}

TEST_F(HttpClientTest, TextRequestsEndAfterTheirTotalTime) {
  HttpLimits limits;
  limits.lowSpeedSeconds = 0;  // only the total time is left to end the wait
  limits.textTotalSeconds = 1;
  SetHttpLimitsForTesting(limits);
  server_.SetAnswer("", TlsTestServer::Mode::StallAfterRequest);
  const auto started = std::chrono::steady_clock::now();
  int status = 0;
  std::string body;
  EXPECT_FALSE(HttpGetToString(endpoint_, L"/t", kUserAgent, {}, status, body));
  EXPECT_EQ(HttpPutBody("{}", 2, endpoint_, L"/telemetry/upload", kUserAgent, {}, status, body), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST(HttpClientArguments, MissingPartsFailWithoutARequest) {
  int status = 0;
  std::string body;
  EXPECT_FALSE(HttpGetToString(ServerEndpoint{L"", 443, ""}, L"/x", kUserAgent, {}, status, body));
  EXPECT_FALSE(HttpGetToString(ServerEndpoint{L"127.0.0.1", 443, ""}, L"", kUserAgent, {}, status, body));
  EXPECT_FALSE(ServerGet(L"", {}, status, body));
  EXPECT_FALSE(ServerDownloadToFile(L"", L"/tmp/x"));
  EXPECT_FALSE(ServerDownloadToFile(L"/x", L""));
}

}  // namespace
}  // namespace Kyrowan::Windows
