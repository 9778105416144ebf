#pragma once

#include <string>

namespace Kyrowan::Testing {

/// Connects to 127.0.0.1:`port`, sends `request`, ends its side and reads `reply` until
/// the peer closes. False if any step failed.
bool LoopbackExchange(int port, const std::string& request, std::string& reply);

}  // namespace Kyrowan::Testing
