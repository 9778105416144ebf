#pragma once

#include <memory>

#include "request_deadlines.h"

namespace KyrServer {

/// How RequestDeadlines cuts a connection on `socket`: through a descriptor of its own,
/// so that shutting it down reaches the connection and it cannot name another
/// connection's socket however the server orders closing and Closed. Null when no
/// descriptor is left; `socket` is then shut down at once, since a connection that
/// cannot be watched is not served.
std::unique_ptr<RequestDeadlines::Cutter> SocketCutter(int socket);

}  // namespace KyrServer
