#pragma once

#include <string>

namespace KyrServer {

/// A socket listening on `address` (a name or a numeric address) and `port` (0: any free
/// one), set up for a quick restart but never shared with a second server on the same
/// port. Returns the socket and sets `boundPort`; -1 with `error` saying why otherwise
/// ("the port is already in use", the system's reason, or "the address cannot be used").
int ListenOn(const std::string& address, int port, int& boundPort, std::string& error);

}  // namespace KyrServer
