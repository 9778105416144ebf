#include "postgres_telemetry_store.h"

#include <iterator>

#include <libpq-fe.h>

namespace KyrServer {

namespace {

// Schema version N is reached by running the first N steps; the database's version is the
// row of kyrdecrypt_schema.
const char* const kMigrations[] = {
    "CREATE TABLE reports ("
    " id bigserial PRIMARY KEY,"
    " received_at timestamptz NOT NULL DEFAULT now(),"
    " client_address text NOT NULL,"
    " body jsonb NOT NULL)",
    // jsonb refused reports the server had taken (a "\u0000" in a string) and rewrote the
    // rest (key order, duplicate keys, numbers); json keeps the text as received and still
    // answers the same operators.
    "ALTER TABLE reports ALTER COLUMN body TYPE json USING body::json",
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kMigrations));
// Any fixed number: servers starting together on one database migrate it one at a time.
const char kLockSchema[] = "SELECT pg_advisory_xact_lock(7413061)";
const char kCreateVersion[] = "CREATE TABLE IF NOT EXISTS kyrdecrypt_schema (version integer NOT NULL)";
const char kReadVersion[] = "SELECT coalesce(max(version), 0) FROM kyrdecrypt_schema";
const char kInsert[] = "INSERT INTO reports (client_address, body) VALUES ($1, $2)";

std::string ErrorOf(PGconn* connection) {
  std::string message = PQerrorMessage(connection);
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

// Runs one statement with text parameters; empty, or the server's error.
std::string Run(PGconn* connection, const char* sql, const std::vector<const char*>& values = {},
                std::string* firstValue = nullptr) {
  PGresult* result = PQexecParams(connection, sql, static_cast<int>(values.size()), nullptr, values.data(),
                                  nullptr, nullptr, 0);
  const ExecStatusType status = PQresultStatus(result);
  std::string error;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) error = ErrorOf(connection);
  else if (firstValue && PQntuples(result) > 0) *firstValue = PQgetvalue(result, 0, 0);
  PQclear(result);
  return error;
}

// Empty, or why the schema could not be brought to kSchemaVersion.
std::string MigrateLocked(PGconn* connection) {
  std::string version;
  std::string error = Run(connection, kLockSchema);
  if (error.empty()) error = Run(connection, kCreateVersion);
  if (error.empty()) error = Run(connection, kReadVersion, {}, &version);
  if (!error.empty()) return error;
  const int found = std::stoi(version);
  if (found > kSchemaVersion) return "the database holds a newer schema (version " + version + ")";
  for (int step = found; step < kSchemaVersion && error.empty(); ++step) error = Run(connection, kMigrations[step]);
  const std::string target = std::to_string(kSchemaVersion);
  if (error.empty()) error = Run(connection, "DELETE FROM kyrdecrypt_schema");
  if (error.empty()) error = Run(connection, "INSERT INTO kyrdecrypt_schema (version) VALUES ($1)", {target.c_str()});
  return error;
}

std::string Migrate(PGconn* connection) {
  std::string error = Run(connection, "BEGIN");
  if (error.empty()) error = MigrateLocked(connection);
  if (error.empty()) return Run(connection, "COMMIT");
  Run(connection, "ROLLBACK");
  return error;
}

// Without a connect timeout libpq waits for an unanswering database forever, and the
// server's start or a report with it. The user's connection string comes after the
// default, so its own connect_timeout wins; the encoding comes last, since bodies are UTF-8.
PGconn* Connect(const std::string& connection, std::string& error) {
  const char* const keywords[] = {"connect_timeout", "dbname", "client_encoding", nullptr};
  const char* const values[] = {"10", connection.c_str(), "UTF8", nullptr};
  PGconn* opened = PQconnectdbParams(keywords, values, 1);
  if (PQstatus(opened) == CONNECTION_OK) return opened;
  error = opened ? ErrorOf(opened) : "out of memory";
  PQfinish(opened);
  return nullptr;
}

}  // namespace

std::unique_ptr<PostgresTelemetryStore> PostgresTelemetryStore::Open(const std::string& connection,
                                                                     std::string& error) {
  PGconn* first = Connect(connection, error);
  if (!first) return nullptr;
  error = Migrate(first);
  if (!error.empty()) {
    PQfinish(first);
    return nullptr;
  }
  std::unique_ptr<PostgresTelemetryStore> store(new PostgresTelemetryStore(connection));
  store->idle_.push_back(first);
  return store;
}

PostgresTelemetryStore::~PostgresTelemetryStore() {
  for (PGconn* connection : idle_) PQfinish(connection);
}

PGconn* PostgresTelemetryStore::Take(std::string& error) {
  {
    std::lock_guard guard(mutex_);
    if (!idle_.empty()) {
      PGconn* connection = idle_.back();
      idle_.pop_back();
      return connection;
    }
  }
  return Connect(connection_, error);
}

// A connection that broke (the database restarted, the network failed) is dropped, and
// the next report opens a new one.
void PostgresTelemetryStore::GiveBack(PGconn* connection) {
  if (PQstatus(connection) != CONNECTION_OK || PQtransactionStatus(connection) != PQTRANS_IDLE) {
    PQfinish(connection);
    return;
  }
  std::lock_guard guard(mutex_);
  idle_.push_back(connection);
}

std::string PostgresTelemetryStore::Store(const std::string& body, const std::string& clientAddress) {
  std::string error;
  PGconn* connection = Take(error);
  if (!connection) return error;
  // A single statement outside a transaction: once it has answered, it is committed. It is
  // never sent twice, since a lost answer may hide a commit.
  error = Run(connection, kInsert, {clientAddress.c_str(), body.c_str()});
  GiveBack(connection);
  return error;
}

}  // namespace KyrServer
