#include "telemetry_store.h"

#include <chrono>
#include <ctime>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

namespace KyrServer {

namespace {

const char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS reports ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " received_utc TEXT NOT NULL,"
    " body TEXT NOT NULL)";
const char kInsert[] = "INSERT INTO reports (received_utc, body) VALUES (?, ?)";

std::string UtcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm parts{};
  ::gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace

std::string CheckTelemetryBody(std::string_view body) {
  if (body.size() > kMaxTelemetryBody) return "body larger than 16383 bytes";
  if (!nlohmann::json::accept(body)) return "body is not JSON";
  return {};
}

TelemetryStore::TelemetryStore(const std::string& path) {
  sqlite3* database = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &database, flags, nullptr) != SQLITE_OK ||
      sqlite3_exec(database, kCreateTable, nullptr, nullptr, nullptr) != SQLITE_OK) {
    error_ = database ? sqlite3_errmsg(database) : "out of memory";
    sqlite3_close(database);
    return;
  }
  database_ = database;
}

TelemetryStore::~TelemetryStore() { sqlite3_close(database_); }

bool TelemetryStore::Store(const std::string& body) {
  std::lock_guard guard(mutex_);
  if (!database_) return false;
  sqlite3_stmt* statement = nullptr;
  const std::string received = UtcNow();
  bool stored = sqlite3_prepare_v2(database_, kInsert, -1, &statement, nullptr) == SQLITE_OK &&
                sqlite3_bind_text(statement, 1, received.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
                sqlite3_bind_text(statement, 2, body.data(), static_cast<int>(body.size()), SQLITE_TRANSIENT) ==
                    SQLITE_OK &&
                sqlite3_step(statement) == SQLITE_DONE;
  if (!stored) error_ = sqlite3_errmsg(database_);
  sqlite3_finalize(statement);
  return stored;
}

}  // namespace KyrServer
