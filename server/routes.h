#pragma once

namespace httplib {
class Server;
}

namespace KyrServer {

class Repository;
class TelemetryStore;

/// Installs every request the client sends, an error page with a length for
/// everything else, and one log line per request on stdout.
void RegisterRoutes(httplib::Server& server, const Repository& repository, TelemetryStore& store);

}  // namespace KyrServer
