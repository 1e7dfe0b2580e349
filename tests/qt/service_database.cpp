#include "service_database.h"

#include <sqlite3.h>

std::vector<int> PowerNoticesOf(const std::string& databasePath, const std::string& serial) {
  std::vector<int> notices;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return notices;
  }
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT on_off FROM power_notices WHERE serial = ?1 ORDER BY id", -1,
                         &statement, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(statement, 1, serial.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(statement) == SQLITE_ROW) notices.push_back(sqlite3_column_int(statement, 0));
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return notices;
}
