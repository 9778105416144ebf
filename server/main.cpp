// kyrdecrypt-server: serves a repository folder of signed packages over HTTPS
// and stores the telemetry reports clients upload.
#include <sys/socket.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <pthread.h>

#include "connection_threads.h"
#include "report_limiter.h"
#include "repository.h"
#include "routes.h"
#include "server_options.h"
#include "telemetry_store.h"

using namespace KyrServer;

namespace {

int Fatal(const std::string& message) {
  std::fprintf(stderr, "kyrdecrypt-server: %s\n", message.c_str());
  return 1;
}

// SIGINT and SIGTERM stop the server cleanly: a thread waits for them.
void StopOnSignals(httplib::Server& server) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([&server, signals] {
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
  }).detach();
}

// The library's default also sets SO_REUSEPORT, which lets a second server take the same
// port and half of its requests. SO_REUSEADDR alone still allows a quick restart.
void AllowRestartOnly(int socket) {
  const int yes = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
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
  httplib::SSLServer server(options.certificateFile.c_str(), options.keyFile.c_str());
  if (!server.is_valid()) return Fatal("cannot load certificate '" + options.certificateFile + "' and key");
  ReportLimiter limiter(static_cast<std::size_t>(options.reportsPerMinute));
  RegisterRoutes(server, repository, *store, limiter, options.trustedProxies);
  // A client that stops sending or taking data gives its connection up after this long.
  server.set_read_timeout(options.timeoutSeconds, 0);
  server.set_write_timeout(options.timeoutSeconds, 0);
  ConnectionThreads threads(static_cast<std::size_t>(options.threads));
  threads.Install(server, options.timeoutSeconds);
  server.set_socket_options(AllowRestartOnly);
  StopOnSignals(server);
  errno = 0;
  int port = options.port;
  if (port == 0) port = server.bind_to_any_port(options.address);
  else if (!server.bind_to_port(options.address, port)) port = -1;
  if (port <= 0) {
    const int cause = errno;
    const std::string reason = cause == EADDRINUSE ? "the port is already in use"
                               : cause != 0        ? std::strerror(cause)
                                                   : "the address cannot be used";
    return Fatal("cannot listen on " + options.address + ":" + std::to_string(options.port) + ": " + reason);
  }
  std::printf("kyrdecrypt-server ready on https://%s:%d\n", options.address.c_str(), port);
  std::fflush(stdout);
  server.listen_after_bind();
  return 0;
}
