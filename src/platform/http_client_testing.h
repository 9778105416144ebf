#pragma once

// Seams for tests only: the tool itself never calls these.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

/// One answer as a transport reports it, standing in for the network under a
/// backend's readers.
class HttpAnswerForTesting {
 public:
  virtual ~HttpAnswerForTesting() = default;
  /// The status; 0 or less when no answer came at all.
  virtual long Status() const = 0;
  /// The Content-Length; -1 when none was given (chunked, or until the connection closes).
  virtual std::int64_t ContentLength() const = 0;
  /// The next at most `capacity` bytes of the body, in a buffer of exactly their size;
  /// empty at its end.
  virtual std::vector<char> NextPiece(std::size_t capacity) = 0;
};

/// Makes the answer of each later request; empty sends requests to the network again.
using HttpTransportForTesting = std::function<std::unique_ptr<HttpAnswerForTesting>()>;
void SetHttpTransportForTesting(HttpTransportForTesting transport);
/// What the backends ask for each request: the installed transport's answer, or null.
std::unique_ptr<HttpAnswerForTesting> MakeAnswerForTesting();

/// Replaces the limits of every later request.
void SetHttpLimitsForTesting(const HttpLimits& limits);
/// Makes PackageServer() answer `server` instead of the build's endpoint; null restores it.
void SetPackageServerForTesting(const ServerEndpoint* server);

}  // namespace Kyrowan::Windows
