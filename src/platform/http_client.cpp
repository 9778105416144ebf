#include "platform/http_client.h"

#include <optional>

#include "platform/build_config.h"
#include "platform/http_client_testing.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

std::optional<ServerEndpoint>& ServerOverride() {
  static std::optional<ServerEndpoint> server;
  return server;
}

}  // namespace

void SetPackageServerForTesting(const ServerEndpoint* server) {
  if (server)
    ServerOverride() = *server;
  else
    ServerOverride().reset();
}

ServerEndpoint PackageServer() {
  if (ServerOverride()) return *ServerOverride();
  return ServerEndpoint{FromUtf8(BuildConfig::ServerHost()), BuildConfig::ServerPort(), BuildConfig::CaBundlePath()};
}

bool ServerGet(const std::wstring& path, const std::vector<std::wstring>& headers, int& status, std::string& body) {
  if (path.empty()) return false;
  return HttpGetToString(PackageServer(), path, kUserAgent, headers, status, body) && status == 200;
}

}  // namespace Kyrowan::Windows
