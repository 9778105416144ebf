#include "tests/loopback_exchange.h"

#include <winsock2.h>

namespace Kyrowan::Testing {

bool LoopbackExchange(int port, const std::string& request, std::string& reply) {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return false;
  const SOCKET peer = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (peer == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  bool sent = ::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  for (std::size_t at = 0; sent && at < request.size();) {
    const int n = ::send(peer, request.data() + at, static_cast<int>(request.size() - at), 0);
    sent = n > 0;
    at += sent ? static_cast<std::size_t>(n) : 0;
  }
  bool ended = sent && ::shutdown(peer, SD_SEND) == 0;
  reply.clear();
  char buffer[65536];
  int n = 0;
  while (ended && (n = ::recv(peer, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<std::size_t>(n));
  ::closesocket(peer);
  return ended && n == 0;
}

}  // namespace Kyrowan::Testing
