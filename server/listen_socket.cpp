#include "listen_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace KyrServer {

namespace {

// Room for a burst of clients the threads have not accepted yet.
constexpr int kBacklog = 1024;

int PortOf(int socket) {
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return -1;
  if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(bound).sin6_port);
  return ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
}

}  // namespace

int ListenOn(const std::string& address, int port, int& boundPort, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr) {
    error = "the address cannot be used";
    return -1;
  }
  const int listening = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  // SO_REUSEADDR alone allows a quick restart; SO_REUSEPORT would let a second server take
  // the same port and half of its clients.
  const int yes = 1;
  const bool ready = listening >= 0 &&
                     ::setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
                     ::bind(listening, found->ai_addr, found->ai_addrlen) == 0 && ::listen(listening, kBacklog) == 0;
  const int cause = errno;
  ::freeaddrinfo(found);
  if (!ready) {
    error = cause == EADDRINUSE ? "the port is already in use" : std::strerror(cause);
    if (listening >= 0) ::close(listening);
    return -1;
  }
  boundPort = PortOf(listening);
  return listening;
}

}  // namespace KyrServer
