#include "tests/loopback_exchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Kyrowan::Testing {

bool LoopbackExchange(int port, const std::string& request, std::string& reply) {
  const int peer = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (peer < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  bool sent = ::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  for (std::size_t at = 0; sent && at < request.size();) {
    const ssize_t n = ::send(peer, request.data() + at, request.size() - at, MSG_NOSIGNAL);
    sent = n > 0;
    at += sent ? static_cast<std::size_t>(n) : 0;
  }
  bool ended = sent && ::shutdown(peer, SHUT_WR) == 0;
  reply.clear();
  char buffer[65536];
  ssize_t n = 0;
  while (ended && (n = ::recv(peer, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<std::size_t>(n));
  ::close(peer);
  return ended && n == 0;
}

}  // namespace Kyrowan::Testing
