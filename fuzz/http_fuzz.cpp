// Every answer from the network goes through one reading layer: the status, the
// Content-Length and the body in whatever pieces the transport hands over. A fake
// transport feeds it here; the bytes that come out must be exactly the bytes that came in.
#include <fuzzer/FuzzedDataProvider.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/http_client.h"
#include "platform/http_client_testing.h"
#include "tests/fake_http_answer.h"

using namespace Kyrowan::Windows;
using Kyrowan::Fuzzing::Require;
using Kyrowan::Testing::FakeHttpAnswer;
using Kyrowan::Testing::SetFakeHttpAnswer;

namespace {

constexpr std::uint64_t kMaxText = 4096;

FakeHttpAnswer MakeAnswer(FuzzedDataProvider& input, std::string& delivered) {
  FakeHttpAnswer answer;
  answer.status = input.ConsumeIntegralInRange<long>(0, 999);
  const int lengthKind = input.ConsumeIntegralInRange(0, 2);
  const auto given = input.ConsumeIntegralInRange<std::int64_t>(0, 200000);
  while (input.remaining_bytes() > 0 && answer.pieces.size() < 64) {
    // Some pieces are larger than the reader's own 64 KiB pieces.
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 70000);
    answer.pieces.push_back(input.ConsumeBytesAsString(length));
  }
  std::string body;
  for (const auto& piece : answer.pieces) body += piece;
  answer.contentLength = lengthKind == 0 ? -1 : lengthKind == 1 ? static_cast<std::int64_t>(body.size()) : given;
  delivered = answer.contentLength < 0 ? body : body.substr(0, static_cast<std::size_t>(answer.contentLength));
  return answer;
}

// A streamed 200 answer counts only when its whole announced body came.
bool CameWhole(const FakeHttpAnswer& answer) {
  std::uint64_t size = 0;
  for (const auto& piece : answer.pieces) size += piece.size();
  return answer.status != 200 || size >= static_cast<std::uint64_t>(answer.contentLength);
}

bool Readable(const FakeHttpAnswer& answer, std::uint64_t max) {
  return answer.status > 0 && answer.contentLength >= 0 && static_cast<std::uint64_t>(answer.contentLength) <= max;
}

void CheckText(bool read, int status, const std::string& body, const FakeHttpAnswer& answer,
               const std::string& delivered) {
  Require(read == Readable(answer, kMaxText), "a text answer is read exactly when its length is known and small");
  if (answer.status > 0) Require(status == answer.status, "the status is reported");
  if (read) Require(body == std::string(delivered.c_str()), "a text answer is its body up to the first NUL");
  if (!read) Require(body.empty(), "an unread text answer gives no body");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  HttpLimits limits;
  limits.maxTextBytes = kMaxText;
  SetHttpLimitsForTesting(limits);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int mode = input.ConsumeIntegralInRange(0, 3);
  std::string delivered;
  const FakeHttpAnswer answer = MakeAnswer(input, delivered);
  SetFakeHttpAnswer(&answer);
  const ServerEndpoint server{L"127.0.0.1", 1, ""};
  int status = 0;
  std::string body;

  if (mode == 0) {
    CheckText(HttpGetToString(server, L"/list", kUserAgent, {}, status, body), status, body, answer, delivered);
  } else if (mode == 1) {
    const char put[] = "{}";
    const int sent = HttpPutBody(put, 2, server, L"/telemetry/upload", kUserAgent, {}, status, body);
    Require(sent == (answer.status > 0 ? 1 : 0), "a PUT is answered exactly when an answer came");
    CheckText(Readable(answer, kMaxText), status, body, answer, delivered);
  } else if (mode == 2) {
    std::string received;
    std::uint32_t lastStatus = 0;
    const ChunkSink sink = [&](std::vector<char>& buffer, std::uint32_t count, std::uint32_t pieceStatus) {
      Require(count <= 65536 && count <= buffer.size(), "a piece fits its buffer");
      received.append(buffer.data(), count);
      lastStatus = pieceStatus;
    };
    const bool read = HttpGetStreamed(server, L"/download/x", kUserAgent, {}, sink);
    Require(read == (Readable(answer, UINT32_MAX) && CameWhole(answer)),
            "a download is read exactly when its length is known and, for a 200, its whole body came");
    if (read) Require(received == delivered && lastStatus == static_cast<std::uint32_t>(answer.status),
                      "a download hands on exactly its body and status");
  } else {
    const std::filesystem::path target = Kyrowan::Fuzzing::Sandbox::Instance().Fresh() / "download";
    const bool fetched = ServerDownloadToFile(L"/download/x", target.wstring());
    if (fetched) {
      std::ifstream file(target, std::ios::binary);
      const std::string written{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
      Require(answer.status == 200 && written == delivered, "a fetched download is its body, whole");
    }
  }
  SetFakeHttpAnswer(nullptr);
  return 0;
}
