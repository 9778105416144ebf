#include "tests/tls_test_server.h"

#include <cstring>
#include <strings.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Kyrowan::Testing {

namespace {

constexpr int kPollMilliseconds = 50;

SSL_CTX* Context(void* context) { return static_cast<SSL_CTX*>(context); }

// Bytes announced by the request's Content-Length header (0 without one).
std::size_t RequestBodyLength(const std::string& head) {
  for (std::size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
    static const char kName[] = "content-length:";
    if (::strncasecmp(head.c_str() + at + 2, kName, sizeof kName - 1) == 0)
      return std::strtoul(head.c_str() + at + 2 + sizeof kName - 1, nullptr, 10);
  }
  return 0;
}

bool ReadRequest(SSL* ssl, std::string& request) {
  char buffer[4096];
  std::size_t headEnd = std::string::npos;
  while ((headEnd = request.find("\r\n\r\n")) == std::string::npos) {
    const int n = SSL_read(ssl, buffer, sizeof buffer);
    if (n <= 0) return false;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  const std::size_t total = headEnd + 4 + RequestBodyLength(request.substr(0, headEnd + 2));
  while (request.size() < total) {
    const int n = SSL_read(ssl, buffer, sizeof buffer);
    if (n <= 0) return false;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

TlsTestServer::TlsTestServer(std::string certificateFile, std::string keyFile)
    : certificateFile_(std::move(certificateFile)), keyFile_(std::move(keyFile)) {}

TlsTestServer::~TlsTestServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
  if (context_) SSL_CTX_free(Context(context_));
}

bool TlsTestServer::Start() {
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  context_ = context;
  if (!context || SSL_CTX_use_certificate_chain_file(context, certificateFile_.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context, keyFile_.c_str(), SSL_FILETYPE_PEM) != 1)
    return false;
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 8) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return false;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void TlsTestServer::SetAnswer(std::string rawAnswer, Mode mode) {
  std::lock_guard lock(mutex_);
  answer_ = std::move(rawAnswer);
  mode_ = mode;
}

std::vector<std::string> TlsTestServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TlsTestServer::Serve() {
  while (!ShouldStop()) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, kPollMilliseconds) <= 0) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++connections_;
    Handle(client);
    ::close(client);
  }
}

// Returns once the client closed its end or the server is stopping.
void TlsTestServer::WaitForClientToLeave(int client) const {
  while (!ShouldStop()) {
    pollfd waiting{client, POLLIN, 0};
    if (::poll(&waiting, 1, kPollMilliseconds) == 0) continue;
    char byte;
    if (::recv(client, &byte, 1, MSG_PEEK) <= 0) return;
    // Unread TLS records (an alert, a close_notify) are drained so that only a close ends the wait.
    if (::recv(client, &byte, 1, 0) <= 0) return;
  }
}

void TlsTestServer::Handle(int client) {
  std::string answer;
  Mode mode;
  {
    std::lock_guard lock(mutex_);
    answer = answer_;
    mode = mode_;
  }
  if (mode == Mode::StallBeforeHandshake) return WaitForClientToLeave(client);
  SSL* ssl = SSL_new(Context(context_));
  SSL_set_fd(ssl, client);
  std::string request;
  if (SSL_accept(ssl) == 1 && ReadRequest(ssl, request)) {
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    if (mode == Mode::StallAfterRequest) {
      WaitForClientToLeave(client);
    } else {
      SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
      if (mode == Mode::StallAfterAnswer) WaitForClientToLeave(client);
      SSL_shutdown(ssl);
    }
  }
  SSL_free(ssl);
}

}  // namespace Kyrowan::Testing
