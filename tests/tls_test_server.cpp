#include "tests/tls_test_server.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>

#include "tests/loopback_exchange.h"

namespace Kyrowan::Testing {

namespace {

// The control process's port, from the file its start step wrote; 0 when none runs.
int ControlPort() {
  static const int port = [] {
    int read = 0;
    std::ifstream(KYR_HTTPS_TEST_SERVER_PORT_FILE) >> read;
    if (read == 0)
      std::fprintf(stderr, "No HTTPS test server: ctest starts one (tests/https_test_server.py start %s)\n",
                   KYR_HTTPS_TEST_SERVER_PORT_FILE);
    return read;
  }();
  return port;
}

// One command to the control process: its fields, then the payload. Empty when it failed.
std::string Control(std::initializer_list<std::string> fields, const std::string& payload = "") {
  std::string request;
  for (const std::string& field : fields) request += field + "\n";
  std::string reply;
  if (ControlPort() == 0 || !LoopbackExchange(ControlPort(), request + "\n" + payload, reply) ||
      reply.rfind("error", 0) == 0) {
    std::fprintf(stderr, "HTTPS test server: %s\n", reply.c_str());
    return "";
  }
  return reply;
}

const char* ModeName(TlsTestServer::Mode mode) {
  switch (mode) {
    case TlsTestServer::Mode::StallBeforeHandshake: return "stall-before-handshake";
    case TlsTestServer::Mode::StallAfterRequest: return "stall-after-request";
    case TlsTestServer::Mode::StallAfterAnswer: return "stall-after-answer";
    case TlsTestServer::Mode::Answer: break;
  }
  return "answer";
}

}  // namespace

TlsTestServer::TlsTestServer(std::string certificateFile, std::string keyFile)
    : certificateFile_(std::move(certificateFile)), keyFile_(std::move(keyFile)) {}

TlsTestServer::~TlsTestServer() {
  if (port_ != 0) Control({"stop", std::to_string(port_)});
}

bool TlsTestServer::Start() {
  port_ = std::atoi(Control({"start", certificateFile_, keyFile_}).c_str());
  return port_ != 0;
}

void TlsTestServer::SetAnswer(std::string rawAnswer, Mode mode) {
  Control({"answer", std::to_string(port_), ModeName(mode)}, rawAnswer);
}

std::vector<std::string> TlsTestServer::Requests() const {
  const std::string reply = Control({"requests", std::to_string(port_)});
  std::vector<std::string> requests;
  for (std::size_t at = 0; at < reply.size();) {
    const std::size_t newline = reply.find('\n', at);
    if (newline == std::string::npos) break;
    const std::size_t length = std::stoul(reply.substr(at, newline - at));
    requests.push_back(reply.substr(newline + 1, length));
    at = newline + 1 + length;
  }
  return requests;
}

int TlsTestServer::Connections() const { return std::atoi(Control({"connections", std::to_string(port_)}).c_str()); }

}  // namespace Kyrowan::Testing
