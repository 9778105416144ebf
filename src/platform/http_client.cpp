#include "platform/http_client.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/build_config.h"
#include "platform/failure_causes.h"
#include "platform/file_system.h"
#include "platform/http_client_testing.h"
#include "platform/mapped_file.h"
#include "platform/output_file.h"
#include "platform/progress_line.h"
#include "platform/repository_trust.h"
#include "platform/trust_crypto.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

std::optional<ServerEndpoint>& ServerOverride() {
  static std::optional<ServerEndpoint> server;
  return server;
}

HttpTransportForTesting& Transport() {
  static HttpTransportForTesting transport;
  return transport;
}

std::wstring& AnswerFolder() {
  static std::wstring folder;
  return folder;
}

DownloadObserver& Observer() {
  static DownloadObserver observer;
  return observer;
}

// The most bytes handed to a sink at once, as the network backends do.
constexpr std::size_t kPieceBytes = 65536;

// Answers `urlPath` from the answer folder as a server of that tree would: the file's
// bytes with status 200, or status 404 when no file stands there. False when the file
// cannot be read or is larger than `maxBytes`.
bool StreamFromFolder(const std::wstring& urlPath, const ChunkSink& sink, ProgressLine* progress,
                      std::uint64_t maxBytes) {
  std::wstring path = FromUtf8(Protocol::TreeFilePath(ToUtf8(urlPath)));
  for (wchar_t& c : path) {
    if (c == L'/') c = kPathSeparator;
  }
  MappedFile file(AnswerFolder() + kPathSeparator + path);
  std::vector<char> piece;
  if (path.empty() || (!file.OpenUnmapped() && !file.empty)) {
    RecordCause(L"the folder " + AnswerFolder() + L" holds no file for " + urlPath, 404);
    sink(piece, 0, 404);
    return true;
  }
  const auto size = static_cast<std::uint64_t>(file.fileSize);
  if (size > maxBytes) {
    RecordCause(file.path + L" is " + std::to_wstring(size) + L" bytes, more than the " + std::to_wstring(maxBytes) +
                L" bytes allowed");
    return false;
  }
  std::uint64_t done = 0;
  const bool read = file.ReadWindows(0, file.fileSize, [&](const char* data, std::size_t count) {
    for (std::size_t at = 0; at < count; at += kPieceBytes) {
      const std::size_t length = std::min(kPieceBytes, count - at);
      piece.assign(data + at, data + at + length);
      sink(piece, static_cast<std::uint32_t>(length), 200);
      done += length;
      if (progress) progress->Update(done, size);
    }
    return true;
  });
  if (!read) RecordFileFailure(L"read", file.path, LastOsError());
  return read;
}

// GET from the package server, or from the answer folder when one is set.
bool FetchStreamed(const std::wstring& urlPath, const ChunkSink& sink, ProgressLine* progress,
                   std::uint64_t maxBytes) {
  if (!AnswerFolder().empty()) return StreamFromFolder(urlPath, sink, progress, maxBytes);
  return HttpGetStreamed(PackageServer(), urlPath, kUserAgent, {}, sink, progress, maxBytes);
}

// What the signed snapshot says the answer for `urlPath` must be (nothing without metadata);
// false when the answer cannot be trusted whatever it is.
bool ExpectedAnswer(const std::wstring& urlPath, std::optional<TrustedFile>& expected) {
  expected.reset();
  if (!RepositoryTrustEnabled()) return true;
  if (!EnsureRepositoryTrust(ServerGetMetadata)) return false;
  const TrustedFile* listed = ListedTreeFile(Protocol::TreeFilePath(ToUtf8(urlPath)));
  if (listed == nullptr) {
    RecordCause(L"the signed snapshot lists no file for " + urlPath, 404);
    return false;
  }
  expected = *listed;
  return true;
}

// A tree file's answer, held to the signed snapshot when the build has one: the listed
// length bounds it before any of its body is read, and its SHA-256 is taken as it streams.
bool FetchTreeFile(const std::wstring& urlPath, const ChunkSink& sink, ProgressLine* progress,
                   std::uint64_t maxBytes) {
  std::optional<TrustedFile> expected;
  if (!ExpectedAnswer(urlPath, expected)) return false;
  if (!expected) return FetchStreamed(urlPath, sink, progress, maxBytes);
  Sha256Stream hash;
  std::uint64_t received = 0;
  std::uint32_t status = 0;
  const ChunkSink checked = [&](std::vector<char>& buffer, std::uint32_t count, std::uint32_t answerStatus) {
    status = answerStatus;
    if (answerStatus == 200) {
      hash.Update(buffer.data(), count);
      received += count;
    }
    sink(buffer, count, answerStatus);
  };
  if (!FetchStreamed(urlPath, checked, progress, std::min(maxBytes, expected->length))) return false;
  if (status != 200 || (received == expected->length && hash.FinishHex() == expected->sha256)) return true;
  RecordCause(L"the answer for " + urlPath + L" is not the file the signed snapshot lists");
  return false;
}

}  // namespace

bool ServerGetMetadata(const std::wstring& path, std::uint64_t maxBytes, int& status, std::string& body) {
  status = 0;
  body.clear();
  const ChunkSink sink = [&](std::vector<char>& buffer, std::uint32_t count, std::uint32_t answerStatus) {
    status = static_cast<int>(answerStatus);
    if (answerStatus == 200) body.append(buffer.data(), count);
  };
  return FetchStreamed(path, sink, nullptr, maxBytes) && status == 200;
}

void SetPackageServerForTesting(const ServerEndpoint* server) {
  if (server)
    ServerOverride() = *server;
  else
    ServerOverride().reset();
}

void SetHttpTransportForTesting(HttpTransportForTesting transport) { Transport() = std::move(transport); }

std::unique_ptr<HttpAnswerForTesting> MakeAnswerForTesting() { return Transport() ? Transport()() : nullptr; }

ServerEndpoint PackageServer() {
  if (ServerOverride()) return *ServerOverride();
  return ServerEndpoint{FromUtf8(BuildConfig::ServerHost()), BuildConfig::ServerPort(), BuildConfig::CaBundlePath()};
}

void AnswerFromFolder(const std::wstring& folder) { AnswerFolder() = folder; }

void SetDownloadObserver(DownloadObserver observer) { Observer() = std::move(observer); }

bool ServerGet(const std::wstring& path, const std::vector<std::wstring>& headers, int& status, std::string& body) {
  if (path.empty()) return false;
  if (AnswerFolder().empty() && !RepositoryTrustEnabled())
    return HttpGetToString(PackageServer(), path, kUserAgent, headers, status, body) && status == 200;
  status = 400;
  body.clear();
  const ChunkSink sink = [&](std::vector<char>& buffer, std::uint32_t count, std::uint32_t answerStatus) {
    status = static_cast<int>(answerStatus);
    body.append(buffer.data(), count);
  };
  if (!FetchTreeFile(path, sink, nullptr, Protocol::kMaxTextAnswerBytes)) return false;
  // A text answer ends at its first NUL, as the network backends read it.
  body.resize(std::min(body.size(), body.find('\0')));
  return status == 200;
}

bool ServerDownloadToFile(const std::wstring& urlPath, const std::wstring& targetPath, std::uint64_t maxBytes) {
  if (urlPath.empty() || targetPath.empty()) return false;
  // The body goes to a fresh file of an unguessable name that then replaces the
  // target, so nothing planted at the fixed target path is ever written through.
  std::wstring folder;
  if (GetParentFolder(targetPath, folder)) RemoveAbandonedTemporaryFiles(folder);
  OutputFile file;
  std::wstring temporary;
  if (!file.CreateBeside(targetPath, temporary)) return false;
  std::uint32_t status = 200;
  bool written = true;
  // Only the body of a 200 answer reaches the file; an error page never does.
  const ChunkSink sink = [&](std::vector<char>& buffer, std::uint32_t count, std::uint32_t answerStatus) {
    status = answerStatus;
    // After the first failed write, the rest of the answer is not written at all.
    if (count != 0 && answerStatus == 200) written = written && file.Write(buffer.data(), count);
  };
  ProgressLine progress(DownloadLabel(urlPath));
  bool fetched = FetchTreeFile(urlPath, sink, &progress, maxBytes) && status == 200;
  // Some write errors surface only when the file is closed; they fail the download too.
  fetched = file.Close() && written && fetched;
  // A failed download leaves nothing behind, and what stood at the target stays as it was.
  if (fetched && !MoveFileOver(temporary, targetPath)) {
    RecordFileFailure(L"write", targetPath, LastOsError());
    fetched = false;
  }
  if (!fetched) {
    RemoveFile(temporary);
    return false;
  }
  if (Observer()) Observer()(urlPath, targetPath);
  return true;
}

}  // namespace Kyrowan::Windows
