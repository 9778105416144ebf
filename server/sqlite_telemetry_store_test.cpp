#include "sqlite_telemetry_store.h"

#include <regex>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/scoped_temp.h"

namespace KyrServer {
namespace {

void Execute(const std::string& path, const char* sql) {
  sqlite3* database = nullptr;
  sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  ASSERT_EQ(sqlite3_exec(database, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(database);
  sqlite3_close(database);
}

// Every stored row as "received_utc|client_address|body", in order.
std::vector<std::string> Rows(const std::string& path) {
  std::vector<std::string> rows;
  sqlite3* database = nullptr;
  sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(database, "SELECT received_utc, coalesce(client_address, 'NULL'), body FROM reports ORDER BY id",
                     -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int column = 0; column < 3; ++column)
      row += (column ? "|" : "") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  sqlite3_close(database);
  return rows;
}

std::string JournalMode(const std::string& path) {
  sqlite3* database = nullptr;
  sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(database, "PRAGMA journal_mode", -1, &statement, nullptr);
  std::string mode;
  if (sqlite3_step(statement) == SQLITE_ROW) mode = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  sqlite3_finalize(statement);
  sqlite3_close(database);
  return mode;
}

std::unique_ptr<SqliteTelemetryStore> Open(const std::string& path) {
  std::string error;
  auto store = SqliteTelemetryStore::Open(path, error);
  EXPECT_TRUE(store) << error;
  return store;
}

TEST(SqliteTelemetryStore, KeepsEveryReportWithItsArrivalTimeAndAddress) {
  Kyrowan::Testing::TempFolder temp;
  const std::string path = (temp.Path() / "telemetry.db").string();
  EXPECT_EQ(Open(path)->Store(R"({"run":1})", "10.0.0.1"), "");
  EXPECT_EQ(Open(path)->Store(R"({"run":2})", "::1"), "");
  const auto rows = Rows(path);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(std::regex_match(rows[0], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\|.*)"))) << rows[0];
  EXPECT_EQ(rows[0].substr(rows[0].find('|')), R"(|10.0.0.1|{"run":1})");
  EXPECT_EQ(rows[1].substr(rows[1].find('|')), R"(|::1|{"run":2})");
}

// A file written before addresses were kept gets the column and keeps its reports, and
// leaves its rollback journal for a write-ahead log.
TEST(SqliteTelemetryStore, MigratesTheFirstSchema) {
  Kyrowan::Testing::TempFolder temp;
  const std::string path = (temp.Path() / "telemetry.db").string();
  Execute(path,
          "CREATE TABLE reports (id INTEGER PRIMARY KEY AUTOINCREMENT, received_utc TEXT NOT NULL, body TEXT NOT NULL);"
          "INSERT INTO reports (received_utc, body) VALUES ('2024-01-02T03:04:05Z', '{}')");
  ASSERT_EQ(JournalMode(path), "delete");
  EXPECT_EQ(Open(path)->Store("[]", "10.0.0.2"), "");
  EXPECT_EQ(JournalMode(path), "wal");
  const auto rows = Rows(path);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], "2024-01-02T03:04:05Z|NULL|{}");
  EXPECT_EQ(rows[1].substr(20), "|10.0.0.2|[]");
}

TEST(SqliteTelemetryStore, RefusesWhatItCannotUse) {
  Kyrowan::Testing::TempFolder temp;
  const std::string newer = (temp.Path() / "newer.db").string();
  Execute(newer, "PRAGMA user_version = 99");
  const std::pair<std::string, std::string> cases[] = {
      {"/nonexistent-folder-kyr/telemetry.db", "unable to open database file"},
      {newer, "the database holds a newer schema (version 99)"}};
  for (const auto& [path, expected] : cases) {
    std::string error;
    EXPECT_FALSE(SqliteTelemetryStore::Open(path, error));
    EXPECT_EQ(error, expected);
  }
}

}  // namespace
}  // namespace KyrServer
