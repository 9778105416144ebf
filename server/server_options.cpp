#include "server_options.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "publisher_cli.h"

namespace KyrServer {

namespace {

void AddOptions(CLI::App& app, ServerOptions& options) {
  app.set_version_flag("--version", "kyrdecrypt-server " KYRDECRYPT_VERSION);
  app.set_config("--config", "", "Read options from this file (one \"name = value\" a line)");
  // A misspelt key in the file must not be dropped in silence.
  app.allow_config_extras(CLI::config_extras_mode::error);
  app.add_option("--address", options.address, "Address to listen on (required)");
  app.add_option("--port", options.port, "HTTPS port to listen on; 0 picks a free one (required)")
      ->check(CLI::Range(0, 65535));
  app.add_option("--cert", options.certificateFile, "TLS certificate chain, PEM (required)");
  app.add_option("--key", options.keyFile, "TLS private key, PEM (required)");
  app.add_option("--repo", options.repositoryFolder, "Repository folder of signed packages (required)");
  auto* sqlite = app.add_option("--db", options.databaseFile,
                                 "SQLite database of telemetry reports (required without --telemetry-postgres)");
  app.add_option("--telemetry-postgres", options.postgresConnection,
                 "Store telemetry reports in PostgreSQL instead: a libpq connection string")
      ->excludes(sqlite);
  app.add_option("--reports-per-minute", options.reportsPerMinute, "Reports taken from one client address a minute")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  app.add_option("--timeout", options.timeoutSeconds, "Seconds a connection may wait for its client")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  app.add_option("--request-timeout", options.requestTimeoutSeconds,
                 "Seconds a request may take to arrive whole, from its connection's start or the previous answer")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  app.add_option("--threads", options.threads, "Threads serving connections, each many at once")
      ->check(CLI::Range(1, kMaxThreads))
      ->capture_default_str();
  app.add_option("--max-connections", options.maxConnections, "Open connections in all; more wait to be accepted")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  app.add_option("--connections-per-address", options.connectionsPerAddress,
                 "Open connections from one peer address (a proxy's too); more are closed at once")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  app.add_option("--trusted-proxy", options.trustedProxies,
                 "A proxy's address (repeatable): its X-Forwarded-For or X-Real-IP names the client")
      ->allow_extra_args(false);
}

// Checked here rather than by CLI11 so that an empty value counts as missing too.
bool RequireAll(const CLI::App& app, const ServerOptions& options, std::string& error) {
  const std::string port = app.count("--port") > 0 ? std::to_string(options.port) : std::string();
  const bool postgres = app.count("--telemetry-postgres") > 0;
  const std::pair<const char*, const std::string*> required[] = {
      {"--address", &options.address},       {"--port", &port},
      {"--cert", &options.certificateFile},  {"--key", &options.keyFile},
      {"--repo", &options.repositoryFolder},
      postgres ? std::pair("--telemetry-postgres", &options.postgresConnection) : std::pair("--db", &options.databaseFile)};
  for (const auto& [name, value] : required) {
    if (value->empty()) {
      error = std::string("option ") + name + (app.count(name) > 0 ? " needs a value" : " is required");
      return false;
    }
  }
  return true;
}

}  // namespace

int DefaultThreads() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(4 * cores, 8, kMaxThreads);
}

bool ParseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options, std::string& out,
                        std::string& error, int& exitCode) {
  CLI::App app("Serves a repository folder of signed packages over HTTPS and stores telemetry reports.",
               "kyrdecrypt-server");
  AddOptions(app, options);
  // The caller adds the pointer at --help.
  app.failure_message([](const CLI::App*, const CLI::Error& failure) { return std::string(failure.what()); });
  if (!Kyrowan::PublisherCli::Parse(app, arguments, out, error, exitCode)) {
    // The library words a key of the file that no option has as a parse failure.
    constexpr std::string_view unknownKey = "INI was not able to parse ";
    if (error.starts_with(unknownKey))
      error = "unknown setting '" + error.substr(unknownKey.size()) + "' in the --config file";
    return false;
  }
  if (!RequireAll(app, options, error)) {
    exitCode = Kyrowan::PublisherCli::kExitUsage;
    return false;
  }
  return true;
}

}  // namespace KyrServer
