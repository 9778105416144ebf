#pragma once

#include <string>
#include <vector>

namespace KyrServer {

/// Everything the server is started with; all of it comes from the command line.
struct ServerOptions {
  std::string address;
  int port = 0;  ///< 0: any free port (the ready line names it)
  std::string certificateFile;
  std::string keyFile;
  std::string repositoryFolder;
  std::string databaseFile;
  int reportsPerMinute = 60;  ///< telemetry uploads taken from one client address per minute
  int timeoutSeconds = 10;    ///< longest wait for a client to send or take data
};

/// The usage text printed with every command-line error.
extern const char* const kUsage;

/// Reads "--name value" pairs; false with `error` set when a required one is missing, or one is unknown or malformed.
bool ParseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options, std::string& error);

}  // namespace KyrServer
