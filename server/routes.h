#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace KyrServer {

class ReportLimiter;
class Repository;
class TelemetryStore;

/// One request as the connection delivered it.
struct Request {
  std::string peer;    ///< the connection's address
  std::string method;
  std::string path;    ///< percent-decoded, without the query
  std::vector<std::pair<std::string, std::string>> headers;  ///< in the order they came
  std::string body;    ///< its first bytes, as many as Routes::BodyLimit keeps
  std::uint64_t bodyBytes = 0;  ///< every body byte that arrived, kept or not

  /// The values of header `name` (any case), in order.
  std::vector<std::string> Values(std::string_view name) const;
};

/// What goes back: a text or a file, with its length announced up front.
struct Answer {
  int status = 200;
  std::string contentType = "text/plain";
  std::string text;
  std::shared_ptr<std::ifstream> file;  ///< when set, the body is its first `fileSize` bytes
  std::uint64_t fileSize = 0;
  bool close = false;  ///< the connection ends after this answer: the client may have sent more

  std::uint64_t BodyBytes() const { return file ? fileSize : text.size(); }
};

/// Every request the client sends, an error page with a length for everything else, and one
/// log line per request on stdout. Telemetry uploads beyond what the limiter allows an
/// address are answered with 429; one the store could not commit with 500, its reason on
/// stderr. A request's client address is its peer's, or the one a peer in `trustedProxies`
/// forwarded (ClientAddress). Called from many connection threads at once.
class Routes {
 public:
  Routes(const Repository& repository, TelemetryStore& store, ReportLimiter& limiter,
         const std::vector<std::string>& trustedProxies)
      : repository_(repository), store_(store), limiter_(limiter), trustedProxies_(trustedProxies) {}

  /// The answer due once the head has arrived, before any body byte is read: a method HTTP
  /// does not have, an encoded body, a body too large by its own account. None otherwise.
  std::optional<Answer> Refuse(const Request& head) const;

  /// How many body bytes of `head`'s request are kept in Request::body.
  std::size_t BodyLimit(const Request& head) const;

  /// The answer to a request whose body has arrived.
  Answer Respond(const Request& request);

  /// Writes the request's log line: client, method, path, status, body bytes.
  void Log(const Request& request, const Answer& answer) const;

  /// Writes the line of a request the HTTP library refused before it reached the routes:
  /// the peer, then "-" for the method, the target as sent, and "-" for the status and size
  /// the library chose.
  void LogRefusedHead(const std::string& peer, const std::string& target) const;

 private:
  Answer Upload(const Request& request);
  std::string Client(const Request& request) const;

  const Repository& repository_;
  TelemetryStore& store_;
  ReportLimiter& limiter_;
  const std::vector<std::string>& trustedProxies_;
};

/// `text` with every %XX escape decoded.
std::string PercentDecoded(std::string_view text);

}  // namespace KyrServer
