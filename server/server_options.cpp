#include "server_options.h"

#include <charconv>
#include <map>

namespace KyrServer {

const char* const kUsage =
    "Usage: kyrdecrypt-server --address <ip> --port <port> --cert <certificate.pem> --key <key.pem>\n"
    "                         --repo <repository folder> --db <telemetry database>\n"
    "Serves the repository folder over HTTPS and stores telemetry uploads in the database.\n"
    "--port 0 picks a free port; the ready line names it.\n";

namespace {

bool ParsePort(const std::string& text, int& port) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, port);
  return error == std::errc() && stop == end && port >= 0 && port <= 65535;
}

}  // namespace

bool ParseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options, std::string& error) {
  std::map<std::string, std::string*> texts{{"--address", &options.address}, {"--cert", &options.certificateFile},
                                            {"--key", &options.keyFile},      {"--repo", &options.repositoryFolder},
                                            {"--db", &options.databaseFile}};
  std::string portText;
  texts["--port"] = &portText;
  for (std::size_t i = 0; i < arguments.size(); i += 2) {
    const auto found = texts.find(arguments[i]);
    if (found == texts.end()) {
      error = "unknown option '" + arguments[i] + "'";
      return false;
    }
    if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
      error = "option " + arguments[i] + " needs a value";
      return false;
    }
    *found->second = arguments[i + 1];
  }
  for (const auto& [name, value] : texts) {
    if (value->empty()) {
      error = "option " + name + " is required";
      return false;
    }
  }
  if (!ParsePort(portText, options.port)) {
    error = "'" + portText + "' is not a port number";
    return false;
  }
  return true;
}

}  // namespace KyrServer
