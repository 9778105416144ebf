#pragma once

#include <memory>
#include <string>

#include "telemetry_store.h"

namespace KyrServer {

struct ServerOptions;

/// The store the options name, its schema created or brought up to date: PostgreSQL when a
/// connection string is given, the SQLite file otherwise. Null, with `error` saying why,
/// when it cannot be used.
std::unique_ptr<TelemetryStore> OpenTelemetryStore(const ServerOptions& options, std::string& error);

}  // namespace KyrServer
