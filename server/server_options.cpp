#include "server_options.h"

#include <charconv>
#include <map>

namespace KyrServer {

const char* const kUsage =
    "Usage: kyrdecrypt-server --address <ip> --port <port> --cert <certificate.pem> --key <key.pem>\n"
    "                         --repo <repository folder> --db <telemetry database>\n"
    "                         [--reports-per-minute <count, default 60>] [--timeout <seconds, default 10>]\n"
    "Serves the repository folder over HTTPS and stores telemetry uploads in the database.\n"
    "--port 0 picks a free port; the ready line names it.\n";

namespace {

bool ParseNumber(const std::string& text, int lowest, int highest, int& number) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  return error == std::errc() && stop == end && number >= lowest && number <= highest;
}

}  // namespace

bool ParseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options, std::string& error) {
  std::map<std::string, std::string*> texts{{"--address", &options.address}, {"--cert", &options.certificateFile},
                                            {"--key", &options.keyFile},      {"--repo", &options.repositoryFolder},
                                            {"--db", &options.databaseFile}};
  std::string portText, reportsText, timeoutText;
  texts["--port"] = &portText;
  std::map<std::string, std::string*> optional{{"--reports-per-minute", &reportsText}, {"--timeout", &timeoutText}};
  for (std::size_t i = 0; i < arguments.size(); i += 2) {
    std::string* target = nullptr;
    for (auto* names : {&texts, &optional})
      if (const auto found = names->find(arguments[i]); found != names->end()) target = found->second;
    if (target == nullptr) {
      error = "unknown option '" + arguments[i] + "'";
      return false;
    }
    if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
      error = "option " + arguments[i] + " needs a value";
      return false;
    }
    *target = arguments[i + 1];
  }
  for (const auto& [name, value] : texts) {
    if (value->empty()) {
      error = "option " + name + " is required";
      return false;
    }
  }
  if (!ParseNumber(portText, 0, 65535, options.port)) {
    error = "'" + portText + "' is not a port number";
    return false;
  }
  if (!reportsText.empty() && !ParseNumber(reportsText, 1, 1000000, options.reportsPerMinute)) {
    error = "--reports-per-minute takes a count from 1 to 1000000, not '" + reportsText + "'";
    return false;
  }
  if (!timeoutText.empty() && !ParseNumber(timeoutText, 1, 3600, options.timeoutSeconds)) {
    error = "--timeout takes seconds from 1 to 3600, not '" + timeoutText + "'";
    return false;
  }
  return true;
}

}  // namespace KyrServer
