#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace KyrServer {

/// The address a telemetry report is counted and stored under: the connection's `peer`,
/// unless the peer is one of `trustedProxies`. Then the client is the last address in
/// `forwardedFor` (X-Forwarded-For) that no trusted proxy added, or `realIp` (X-Real-IP)
/// when no X-Forwarded-For arrived. Headers from any other peer are never believed.
std::string ClientAddress(const std::string& peer, std::string_view forwardedFor, std::string_view realIp,
                          const std::vector<std::string>& trustedProxies);

}  // namespace KyrServer
