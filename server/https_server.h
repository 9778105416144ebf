#pragma once

#include <memory>
#include <string>

namespace KyrServer {

class Routes;
struct TlsCredentials;

/// How far the server lets its clients go.
struct ConnectionLimits {
  int threads = 1;                ///< threads serving connections, each many at once
  int idleSeconds = 10;           ///< a connection that neither sends nor takes data this long is closed
  int requestSeconds = 10;        ///< a request must arrive whole within this (RequestDeadlines)
  int connections = 1;            ///< open connections in all; more wait to be accepted
  int connectionsPerAddress = 1;  ///< open connections from one peer address; more are closed at once
};

/// Serves `routes` over HTTPS on an already listening socket until destroyed.
class HttpsServer {
 public:
  /// Null when the server cannot start (the TLS library refused the credentials).
  static std::unique_ptr<HttpsServer> Start(int listeningSocket, const TlsCredentials& credentials,
                                            const ConnectionLimits& limits, Routes& routes);
  ~HttpsServer();

  struct State;

 private:
  explicit HttpsServer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace KyrServer
