#pragma once

#include <string>
#include <vector>

namespace KyrServer {

/// Threads serving connections unless told: four a core, at least 8, at most kMaxThreads.
int DefaultThreads();
constexpr int kMaxThreads = 1024;

/// Everything the server is started with: the command line, or the configuration file it names.
struct ServerOptions {
  std::string address;
  int port = 0;  ///< 0: any free port (the ready line names it)
  std::string certificateFile;
  std::string keyFile;
  std::string repositoryFolder;
  std::string databaseFile;        ///< SQLite file of telemetry reports, unless:
  std::string postgresConnection;  ///< libpq connection string: reports go to PostgreSQL
  int reportsPerMinute = 60;  ///< telemetry uploads taken from one client address per minute
  int timeoutSeconds = 10;    ///< longest wait for a client to send or take data
  int requestTimeoutSeconds = 10;  ///< longest time for a request to arrive whole, head and body
  int threads = DefaultThreads();  ///< threads serving connections, each many at once
  int maxConnections = 1000;        ///< open connections in all
  int connectionsPerAddress = 32;   ///< open connections from one peer address
  std::vector<std::string> trustedProxies;  ///< peers whose X-Forwarded-For / X-Real-IP name the client
};

/// Reads the arguments (without the program name) and any `--config` file they name, the
/// command line winning. False when the server must not start: help or version asked for
/// (`exitCode` 0, `out` to print on stdout) or something missing or malformed (`exitCode` 2,
/// `error` names the option or the setting of the --config file).
bool ParseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options, std::string& out,
                        std::string& error, int& exitCode);

}  // namespace KyrServer
