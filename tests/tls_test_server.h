#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Kyrowan::Testing {

/// A one-thread HTTPS server on 127.0.0.1 that answers every request with the
/// same raw bytes, so tests can send answers a well-behaved server never would
/// (no Content-Length, a cut-off body, a stall). It records every request it read.
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

  /// Listens on a free port; false if the socket or the TLS setup failed.
  bool Start();
  int Port() const { return port_; }
  void SetAnswer(std::string rawAnswer, Mode mode = Mode::Answer);
  /// Every request read so far: head and body, as received.
  std::vector<std::string> Requests() const;
  /// How many TCP connections were accepted.
  int Connections() const { return connections_; }

 private:
  void Serve();
  void Handle(int client);
  bool ShouldStop() const { return stop_; }
  void WaitForClientToLeave(int client) const;

  std::string certificateFile_;
  std::string keyFile_;
  void* context_ = nullptr;  // SSL_CTX*, kept opaque here
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::string answer_;
  Mode mode_ = Mode::Answer;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace Kyrowan::Testing
