#include "open_telemetry_store.h"

#include "postgres_telemetry_store.h"
#include "server_options.h"
#include "sqlite_telemetry_store.h"

namespace KyrServer {

std::unique_ptr<TelemetryStore> OpenTelemetryStore(const ServerOptions& options, std::string& error) {
  // The connection string may hold a password: it is never repeated in a message.
  if (!options.postgresConnection.empty()) {
    auto store = PostgresTelemetryStore::Open(options.postgresConnection, error);
    if (!store) error = "cannot use the PostgreSQL database: " + error;
    return store;
  }
  auto store = SqliteTelemetryStore::Open(options.databaseFile, error);
  if (!store) error = "cannot open database '" + options.databaseFile + "': " + error;
  return store;
}

}  // namespace KyrServer
