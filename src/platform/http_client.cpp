#include "platform/http_client.h"

#include <optional>
#include <utility>

#include "platform/build_config.h"
#include "platform/failure_causes.h"
#include "platform/file_system.h"
#include "platform/http_client_testing.h"
#include "platform/output_file.h"
#include "platform/progress_line.h"
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

}  // namespace

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

bool ServerGet(const std::wstring& path, const std::vector<std::wstring>& headers, int& status, std::string& body) {
  if (path.empty()) return false;
  return HttpGetToString(PackageServer(), path, kUserAgent, headers, status, body) && status == 200;
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
  bool fetched = HttpGetStreamed(PackageServer(), urlPath, kUserAgent, {}, sink, &progress, maxBytes) && status == 200;
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
  return true;
}

}  // namespace Kyrowan::Windows
