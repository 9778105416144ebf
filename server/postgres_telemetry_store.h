#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "telemetry_store.h"

struct pg_conn;

namespace KyrServer {

/// Reports in PostgreSQL, table "reports": received_at (timestamptz), client_address (text),
/// body (json: the text as received). Each request thread takes a connection of its own
/// from an idle list, so inserts run side by side; there are never more connections than
/// request threads. A connection attempt gives up after 10 s unless the connection string
/// says otherwise (connect_timeout).
class PostgresTelemetryStore final : public TelemetryStore {
 public:
  /// Connects (a libpq connection string or URI) and creates or migrates the schema; null
  /// with `error` if it cannot.
  static std::unique_ptr<PostgresTelemetryStore> Open(const std::string& connection, std::string& error);
  ~PostgresTelemetryStore() override;
  PostgresTelemetryStore(const PostgresTelemetryStore&) = delete;
  PostgresTelemetryStore& operator=(const PostgresTelemetryStore&) = delete;

  std::string Store(const std::string& body, const std::string& clientAddress) override;

 private:
  explicit PostgresTelemetryStore(std::string connection) : connection_(std::move(connection)) {}
  pg_conn* Take(std::string& error);
  void GiveBack(pg_conn* connection);

  const std::string connection_;
  std::mutex mutex_;
  std::vector<pg_conn*> idle_;
};

}  // namespace KyrServer
