#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

struct sqlite3;

namespace KyrServer {

/// The largest telemetry body the client may send.
inline constexpr std::size_t kMaxTelemetryBody = 16383;

/// Why a telemetry body cannot be stored (too large, not JSON), or empty when it can.
std::string CheckTelemetryBody(std::string_view body);

/// The SQLite table of received telemetry reports: when each arrived (UTC) and its body.
class TelemetryStore {
 public:
  /// Opens the database, creating it and its table if needed; see IsOpen.
  explicit TelemetryStore(const std::string& path);
  ~TelemetryStore();
  TelemetryStore(const TelemetryStore&) = delete;
  TelemetryStore& operator=(const TelemetryStore&) = delete;

  bool IsOpen() const { return database_ != nullptr; }
  /// The database's last error message.
  std::string LastError() const { return error_; }
  /// Stores one report stamped with the current UTC time; false on a database error.
  bool Store(const std::string& body);

 private:
  sqlite3* database_ = nullptr;
  std::string error_;
  std::mutex mutex_;
};

}  // namespace KyrServer
