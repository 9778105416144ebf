// kyrdecrypt-server: serves a repository folder of signed packages over HTTPS
// and stores the telemetry reports clients upload.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <pthread.h>

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

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  std::string error;
  if (!ParseServerOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "kyrdecrypt-server: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  std::error_code ignored;
  if (!std::filesystem::is_directory(options.repositoryFolder, ignored))
    return Fatal("repository folder '" + options.repositoryFolder + "' does not exist");
  TelemetryStore store(options.databaseFile);
  if (!store.IsOpen()) return Fatal("cannot open database '" + options.databaseFile + "': " + store.LastError());
  httplib::SSLServer server(options.certificateFile.c_str(), options.keyFile.c_str());
  if (!server.is_valid()) return Fatal("cannot load certificate '" + options.certificateFile + "' and key");
  const Repository repository(options.repositoryFolder);
  RegisterRoutes(server, repository, store);
  StopOnSignals(server);
  int port = options.port;
  if (port == 0) port = server.bind_to_any_port(options.address);
  else if (!server.bind_to_port(options.address, port)) port = -1;
  if (port <= 0) return Fatal("cannot listen on " + options.address + ":" + std::to_string(options.port));
  std::printf("kyrdecrypt-server ready on https://%s:%d\n", options.address.c_str(), port);
  std::fflush(stdout);
  server.listen_after_bind();
  return 0;
}
