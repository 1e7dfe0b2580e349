#include "service_database.h"

#include <sqlite3.h>

#include <cstdlib>

Rows QueryServiceDatabase(const std::string& databasePath, const std::string& sql,
                          const std::vector<std::string>& parameters) {
  Rows rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return rows;
  }
  // The service may be writing at the same moment.
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
    for (size_t i = 0; i < parameters.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i + 1), parameters[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int column = 0; column < sqlite3_column_count(statement); ++column) {
        const unsigned char* text = sqlite3_column_text(statement, column);
        row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
      }
      rows.push_back(std::move(row));
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

std::vector<int> PowerNoticesOf(const std::string& databasePath, const std::string& serial) {
  std::vector<int> notices;
  for (const auto& row : QueryServiceDatabase(
           databasePath, "SELECT on_off FROM power_notices WHERE serial = ?1 ORDER BY id", {serial})) {
    notices.push_back(std::atoi(row[0].c_str()));
  }
  return notices;
}
