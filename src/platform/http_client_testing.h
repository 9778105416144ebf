#pragma once

// Seams for tests only: the tool itself never calls these.

#include <cstdint>

namespace Kyrowan::Windows {

struct ServerEndpoint;

/// The bounds every request works within. The defaults are the tool's own limits;
/// tests shorten them.
struct HttpLimits {
  /// How long connecting may take.
  long connectSeconds = 30;
  /// An answer that stays below this speed for `lowSpeedSeconds` is abandoned as stalled.
  long lowSpeedBytesPerSecond = 1024;
  long lowSpeedSeconds = 60;
  /// How long a request answered as text (list, latest version, telemetry) may take in all.
  long textTotalSeconds = 60;
  /// The largest text answer held in memory; a longer one is refused.
  std::uint64_t maxTextBytes = 16u * 1024u * 1024u;
};

/// Replaces the limits of every later request.
void SetHttpLimitsForTesting(const HttpLimits& limits);
/// Makes PackageServer() answer `server` instead of the build's endpoint; null restores it.
void SetPackageServerForTesting(const ServerEndpoint* server);

}  // namespace Kyrowan::Windows
