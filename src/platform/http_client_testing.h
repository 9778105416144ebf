#pragma once

// Seams for tests only: the tool itself never calls these.

namespace Kyrowan::Windows {

struct ServerEndpoint;

/// How long a request may take to connect, and how long it may stay under the
/// low-speed floor before it is abandoned as stalled.
struct HttpStallLimits {
  long connectSeconds = 30;
  long lowSpeedBytesPerSecond = 1;
  long lowSpeedSeconds = 60;
};

/// Replaces the stall limits of every later request (tests shorten them).
void SetHttpStallLimitsForTesting(const HttpStallLimits& limits);
/// Makes PackageServer() answer `server` instead of the build's endpoint; null restores it.
void SetPackageServerForTesting(const ServerEndpoint* server);

}  // namespace Kyrowan::Windows
