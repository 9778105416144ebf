#include "sqlite_telemetry_store.h"

#include <chrono>
#include <ctime>
#include <iterator>

#include <sqlite3.h>

namespace KyrServer {

namespace {

// Schema version N is reached by running the first N steps; a file's version is its
// user_version. Files made before versions were kept hold version 0 with the first table,
// so the first step must tolerate it.
const char* const kMigrations[] = {
    "CREATE TABLE IF NOT EXISTS reports ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " received_utc TEXT NOT NULL,"
    " body TEXT NOT NULL)",
    "ALTER TABLE reports ADD COLUMN client_address TEXT",
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kMigrations));
const char kInsert[] = "INSERT INTO reports (received_utc, body, client_address) VALUES (?, ?, ?)";

std::string UtcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm parts{};
  ::gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

int UserVersion(sqlite3* database) {
  sqlite3_stmt* statement = nullptr;
  int version = -1;
  if (sqlite3_prepare_v2(database, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    version = sqlite3_column_int(statement, 0);
  sqlite3_finalize(statement);
  return version;
}

// All steps in one transaction, taken before reading the version, so two servers starting
// on one file migrate it once. Empty, or why it failed.
std::string Migrate(sqlite3* database) {
  if (sqlite3_exec(database, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
    return sqlite3_errmsg(database);
  int version = UserVersion(database);
  if (version > kSchemaVersion) {
    sqlite3_exec(database, "ROLLBACK", nullptr, nullptr, nullptr);
    return "the database holds a newer schema (version " + std::to_string(version) + ")";
  }
  bool done = version >= 0;
  for (; done && version < kSchemaVersion; ++version)
    done = sqlite3_exec(database, kMigrations[version], nullptr, nullptr, nullptr) == SQLITE_OK;
  const std::string setVersion = "PRAGMA user_version = " + std::to_string(kSchemaVersion);
  done = done && sqlite3_exec(database, setVersion.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK &&
         sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  if (done) return {};
  const std::string why = sqlite3_errmsg(database);
  sqlite3_exec(database, "ROLLBACK", nullptr, nullptr, nullptr);
  return why;
}

// Write-ahead logging lets a commit append to the log instead of rewriting pages and
// syncing a rollback journal too; an existing file is converted here (a file system that
// cannot share the log's memory map keeps its journal, still durable, just slower). FULL
// syncs the log at every commit, so a report answered with 200 survives a power cut or an
// OS crash; NORMAL syncs only at checkpoints and could lose the last reports acknowledged.
// The busy timeout covers another process, such as the sqlite3 shell, holding a lock briefly.
std::string UseWriteAheadLog(sqlite3* database) {
  sqlite3_busy_timeout(database, 5000);
  if (sqlite3_exec(database, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", nullptr, nullptr, nullptr) !=
      SQLITE_OK)
    return sqlite3_errmsg(database);
  return {};
}

}  // namespace

std::unique_ptr<SqliteTelemetryStore> SqliteTelemetryStore::Open(const std::string& path, std::string& error) {
  sqlite3* database = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &database, flags, nullptr) != SQLITE_OK)
    error = database ? sqlite3_errmsg(database) : "out of memory";
  else if (error = UseWriteAheadLog(database); error.empty())
    error = Migrate(database);
  if (!error.empty()) {
    sqlite3_close(database);
    return nullptr;
  }
  return std::unique_ptr<SqliteTelemetryStore>(new SqliteTelemetryStore(database));
}

SqliteTelemetryStore::~SqliteTelemetryStore() { sqlite3_close(database_); }

std::string SqliteTelemetryStore::Store(const std::string& body, const std::string& clientAddress) {
  std::lock_guard guard(mutex_);
  sqlite3_stmt* statement = nullptr;
  const std::string received = UtcNow();
  // Outside a transaction the insert is committed once the step is done.
  const bool stored =
      sqlite3_prepare_v2(database_, kInsert, -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_bind_text(statement, 1, received.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
      sqlite3_bind_text(statement, 2, body.data(), static_cast<int>(body.size()), SQLITE_TRANSIENT) == SQLITE_OK &&
      sqlite3_bind_text(statement, 3, clientAddress.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_DONE;
  std::string error = stored ? "" : sqlite3_errmsg(database_);
  sqlite3_finalize(statement);
  return error;
}

}  // namespace KyrServer
