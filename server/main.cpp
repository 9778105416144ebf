// kyrdecrypt-server: serves a repository folder of signed packages over HTTPS
// and stores the telemetry reports clients upload.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <pthread.h>

#include "https_server.h"
#include "listen_socket.h"
#include "open_telemetry_store.h"
#include "report_limiter.h"
#include "repository.h"
#include "routes.h"
#include "server_options.h"
#include "tls_credentials.h"

using namespace KyrServer;

namespace {

// Descriptors kept for the store, the files being served and the listening socket.
constexpr rlim_t kReservedDescriptors = 64;

int Fatal(const std::string& message) {
  std::fprintf(stderr, "kyrdecrypt-server: %s\n", message.c_str());
  return 1;
}

// SIGINT and SIGTERM stop the server: blocked in every thread, the main one waits for them.
sigset_t BlockStopSignals() {
  std::signal(SIGPIPE, SIG_IGN);  // a client gone mid-answer is an error of that write only
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

// Every connection takes two descriptors (the server's and the request deadline's), so the
// connection cap is held below what the process may open, raised as far as it may be.
ConnectionLimits LimitsFor(const ServerOptions& options) {
  rlimit files{};
  int connections = options.maxConnections;
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    ::getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur != RLIM_INFINITY)
      connections = static_cast<int>(
          std::min<rlim_t>(connections, (files.rlim_cur - std::min(files.rlim_cur, kReservedDescriptors)) / 2));
  }
  // Each thread takes its share of the connections: it needs one at least.
  return ConnectionLimits{options.threads, options.timeoutSeconds, options.requestTimeoutSeconds,
                          std::max(connections, options.threads), options.connectionsPerAddress};
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  std::string text, error;
  int exitCode = 0;
  if (!ParseServerOptions(std::vector<std::string>(argv + 1, argv + argc), options, text, error, exitCode)) {
    if (exitCode == 0) std::fputs(text.c_str(), stdout);
    else std::fprintf(stderr, "kyrdecrypt-server: %s\nRun with --help for more information.\n", error.c_str());
    return exitCode;
  }
  std::error_code ignored;
  if (!std::filesystem::is_directory(options.repositoryFolder, ignored))
    return Fatal("repository folder '" + options.repositoryFolder + "' does not exist");
  const Repository repository(options.repositoryFolder);
  if (const std::string problem = repository.LayoutProblem(); !problem.empty()) return Fatal(problem);
  std::string storeProblem;
  const auto store = OpenTelemetryStore(options, storeProblem);
  if (!store) return Fatal(storeProblem);
  TlsCredentials credentials;
  std::string tlsProblem;
  if (!LoadTlsCredentials(options.certificateFile, options.keyFile, credentials, tlsProblem)) return Fatal(tlsProblem);
  ReportLimiter limiter(static_cast<std::size_t>(options.reportsPerMinute));
  Routes routes(repository, *store, limiter, options.trustedProxies);
  const sigset_t stopSignals = BlockStopSignals();
  int port = 0;
  std::string reason;
  const int listening = ListenOn(options.address, options.port, port, reason);
  if (listening < 0)
    return Fatal("cannot listen on " + options.address + ":" + std::to_string(options.port) + ": " + reason);
  const auto server = HttpsServer::Start(listening, credentials, LimitsFor(options), routes);
  if (!server)
    return Fatal("cannot use certificate '" + options.certificateFile + "' and key '" + options.keyFile +
                 "' (the TLS library refused them)");
  std::printf("kyrdecrypt-server ready on https://%s:%d\n", options.address.c_str(), port);
  std::fflush(stdout);
  int received = 0;
  sigwait(&stopSignals, &received);
  return 0;
}
