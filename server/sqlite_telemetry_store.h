#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "telemetry_store.h"

struct sqlite3;

namespace KyrServer {

/// Reports in an SQLite file, table "reports": received_utc (ISO 8601 UTC text), body (the
/// JSON text as received), client_address (NULL for reports stored before it was kept).
class SqliteTelemetryStore final : public TelemetryStore {
 public:
  /// Opens the file, creating it, and creates or migrates its table; null with `error` if it cannot.
  static std::unique_ptr<SqliteTelemetryStore> Open(const std::string& path, std::string& error);
  ~SqliteTelemetryStore() override;
  SqliteTelemetryStore(const SqliteTelemetryStore&) = delete;
  SqliteTelemetryStore& operator=(const SqliteTelemetryStore&) = delete;

  std::string Store(const std::string& body, const std::string& clientAddress) override;

 private:
  explicit SqliteTelemetryStore(sqlite3* database) : database_(database) {}

  sqlite3* database_;
  std::mutex mutex_;
};

}  // namespace KyrServer
