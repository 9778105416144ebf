#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/server_protocol.h"

namespace KyrServer {

/// The largest telemetry body the client may send.
inline constexpr std::size_t kMaxTelemetryBody = Kyrowan::Protocol::kMaxTelemetryBodyBytes;

/// Why a telemetry body cannot be stored, or empty when it can: it must be exactly one JSON
/// object in valid UTF-8, at most kMaxTelemetryBody bytes, nothing before or after it.
std::string CheckTelemetryBody(std::string_view body);

/// Where received telemetry reports are kept: each whole, with its arrival time and the
/// address it came from. Store is called from many request threads at once.
class TelemetryStore {
 public:
  virtual ~TelemetryStore() = default;
  /// Stores one report; empty once it is committed (an acknowledged report survives a
  /// crash), otherwise why it was not stored.
  virtual std::string Store(const std::string& body, const std::string& clientAddress) = 0;
};

}  // namespace KyrServer
