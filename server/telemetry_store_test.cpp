#include "telemetry_store.h"

#include <regex>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/scoped_temp.h"

namespace KyrServer {
namespace {

// Every stored row as "received_utc|body", in order.
std::vector<std::string> Rows(const std::string& path) {
  std::vector<std::string> rows;
  sqlite3* database = nullptr;
  sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(database, "SELECT received_utc, body FROM reports ORDER BY id", -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    rows.push_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))) + "|" +
                   reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
  }
  sqlite3_finalize(statement);
  sqlite3_close(database);
  return rows;
}

TEST(TelemetryBody, MustBeJsonOfAtMost16383Bytes) {
  EXPECT_EQ(CheckTelemetryBody(R"({"a":1})"), "");
  EXPECT_EQ(CheckTelemetryBody("not json"), "body is not JSON");
  EXPECT_EQ(CheckTelemetryBody(""), "body is not JSON");
  const std::string largest = "\"" + std::string(16381, 'x') + "\"";
  EXPECT_EQ(CheckTelemetryBody(largest), "");
  EXPECT_EQ(CheckTelemetryBody(largest + " "), "body larger than 16383 bytes");
}

TEST(TelemetryStore, KeepsEveryReportWithItsArrivalTime) {
  Kyrowan::Testing::TempFolder temp;
  const std::string path = (temp.Path() / "telemetry.db").string();
  {
    TelemetryStore store(path);
    ASSERT_TRUE(store.IsOpen()) << store.LastError();
    EXPECT_TRUE(store.Store(R"({"run":1})"));
  }
  TelemetryStore reopened(path);
  EXPECT_TRUE(reopened.Store(R"({"run":2})"));
  const auto rows = Rows(path);
  ASSERT_EQ(rows.size(), 2u);
  const std::regex stamped(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\|\{"run":\d\})");
  EXPECT_TRUE(std::regex_match(rows[0], stamped)) << rows[0];
  EXPECT_EQ(rows[0].substr(rows[0].find('|')), R"(|{"run":1})");
  EXPECT_EQ(rows[1].substr(rows[1].find('|')), R"(|{"run":2})");
}

TEST(TelemetryStore, UnopenableDatabaseSaysWhy) {
  TelemetryStore store("/nonexistent-folder-kyr/telemetry.db");
  EXPECT_FALSE(store.IsOpen());
  EXPECT_FALSE(store.LastError().empty());
  EXPECT_FALSE(store.Store("{}"));
}

}  // namespace
}  // namespace KyrServer
