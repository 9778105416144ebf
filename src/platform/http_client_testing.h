#pragma once

// Seams for tests only: the tool itself never calls these.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/server_protocol.h"

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
  std::uint64_t maxTextBytes = Protocol::kMaxTextAnswerBytes;
};

/// An answer that no network sent: what a transport would report of it.
struct FakeHttpAnswer {
  long status = 200;                ///< 0 or less: no answer at all
  std::int64_t contentLength = -1;  ///< -1: none given (chunked, or until the connection closes)
  std::vector<std::string> pieces;  ///< the body in the pieces the transport hands over
};

/// Makes every later request receive `answer` instead of going out; null restores the network.
/// The body is delivered as a transport bounded by Content-Length would: never beyond it,
/// and cut short when the pieces hold less.
void SetFakeHttpAnswerForTesting(const FakeHttpAnswer* answer);

/// Replaces the limits of every later request.
void SetHttpLimitsForTesting(const HttpLimits& limits);
/// Makes PackageServer() answer `server` instead of the build's endpoint; null restores it.
void SetPackageServerForTesting(const ServerEndpoint* server);

}  // namespace Kyrowan::Windows
