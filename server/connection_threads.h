#pragma once

#include <atomic>
#include <cstddef>

namespace httplib {
class Server;
}

namespace KyrServer {

/// The threads that serve connections. Each connection holds one for its whole life, the
/// waits between keep-alive requests included, so a few idle clients could otherwise take
/// them all: once fewer than a quarter of them (at least one) are free, every answer asks
/// its client to close the connection ("Connection: close"), and the free ones are kept for
/// clients still to come.
class ConnectionThreads {
 public:
  explicit ConnectionThreads(std::size_t threads) : threads_(threads) {}

  /// Gives `server` this many threads and the keep-alive rules above; an idle connection
  /// that is kept open waits 5 seconds for its next request, or `timeoutSeconds` if shorter.
  void Install(httplib::Server& server, int timeoutSeconds);

  /// Whether the next answer should close its connection.
  bool Crowded() const;

 private:
  const std::size_t threads_;
  std::atomic<std::size_t> busy_{0};  ///< connections being served
};

}  // namespace KyrServer
