#pragma once

#include <string>
#include <vector>

namespace Kyrowan::Testing {

/// An HTTPS server on 127.0.0.1 that answers every request with the same raw bytes, so
/// tests can send answers a well-behaved server never would (no Content-Length, a cut-off
/// body, a stall). It records every request it read. The server runs in the host-side
/// control process of tests/https_test_server.py, which ctest starts for these tests; this
/// class drives it.
class TlsTestServer {
 public:
  /// What the server does with each connection.
  enum class Mode {
    Answer,                 ///< read the request, write the raw answer, close
    StallBeforeHandshake,   ///< accept the TCP connection and never speak TLS
    StallAfterRequest,      ///< read the request and never answer
    StallAfterAnswer,       ///< write the raw answer, then keep the connection open in silence
  };

  TlsTestServer(std::string certificateFile, std::string keyFile);
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  /// Listens on a free port; false (and why, on standard error) if it could not.
  bool Start();
  int Port() const { return port_; }
  void SetAnswer(std::string rawAnswer, Mode mode = Mode::Answer);
  /// Every request read so far: head and body, as received.
  std::vector<std::string> Requests() const;
  /// How many TCP connections were accepted.
  int Connections() const;

 private:
  std::string certificateFile_;
  std::string keyFile_;
  int port_ = 0;
};

}  // namespace Kyrowan::Testing
