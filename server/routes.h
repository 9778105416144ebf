#pragma once

#include <string>
#include <vector>

namespace httplib {
class Server;
}

namespace KyrServer {

class ReportLimiter;
class Repository;
class TelemetryStore;

/// Installs every request the client sends, an error page with a length for
/// everything else, and one log line per request on stdout. Telemetry uploads
/// beyond what `limiter` allows an address are answered with 429; one the store could not
/// commit with 500, its reason on stderr. An upload's client address is its peer's, or the
/// one a peer in `trustedProxies` forwarded (ClientAddress).
void RegisterRoutes(httplib::Server& server, const Repository& repository, TelemetryStore& store,
                    ReportLimiter& limiter, const std::vector<std::string>& trustedProxies);

}  // namespace KyrServer
