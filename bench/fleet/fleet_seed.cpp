#include "fleet_seed.h"

#include <sqlite3.h>

#include "fleet_machine.h"

namespace {

struct Db {
  sqlite3* handle = nullptr;
  ~Db() { sqlite3_close_v2(handle); }
};

bool Exec(sqlite3* db, const char* sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message ? message : "SQLite error";
  sqlite3_free(message);
  return false;
}

}  // namespace

bool SeedFleet(const std::string& dbPath, int machines, std::string& error) {
  if (IsPostgresDb(dbPath)) return SeedFleetPostgres(dbPath, machines, error);
  Db db;
  if (sqlite3_open_v2(dbPath.c_str(), &db.handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    error = "cannot open " + dbPath;
    return false;
  }
  if (!Exec(db.handle, "BEGIN", error)) return false;
  sqlite3_stmt* insert = nullptr;
  const char* sql =
      "INSERT INTO machines (serial, name, sector, location, level, exp, fuel, auto_charge,"
      " target_coin, kest, btc, eth, bnb, on_off, mars_id, user_id, report_count)"
      " SELECT ?1, name, sector, location + ?2, level, exp, fuel, auto_charge, target_coin,"
      " kest, btc, eth, bnb, 1, mars_id, user_id, 0 FROM machines ORDER BY id LIMIT 1";
  if (sqlite3_prepare_v2(db.handle, sql, -1, &insert, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db.handle);
    return false;
  }
  bool ok = true;
  for (int i = 0; i < machines && ok; ++i) {
    const std::string serial = FleetSerial(i);
    sqlite3_bind_text(insert, 1, serial.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 2, i * 0.001);
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  if (!ok) error = sqlite3_errmsg(db.handle);
  sqlite3_finalize(insert);
  return ok && Exec(db.handle, "COMMIT", error);
}

bool CountFleetRows(const std::string& dbPath, FleetRows& rows, std::string& error) {
  if (IsPostgresDb(dbPath)) return CountFleetRowsPostgres(dbPath, rows, error);
  Db db;
  if (sqlite3_open_v2(dbPath.c_str(), &db.handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    error = "cannot open " + dbPath;
    return false;
  }
  const struct {
    const char* sql;
    std::int64_t* into;
  } counts[] = {
      {"SELECT COUNT(*) FROM reports WHERE serial LIKE 'FLEET-%'", &rows.reports},
      {"SELECT COUNT(*) FROM power_notices WHERE serial LIKE 'FLEET-%' AND on_off = 1", &rows.powerOn},
      {"SELECT COUNT(*) FROM power_notices WHERE serial LIKE 'FLEET-%' AND on_off = 0", &rows.powerOff},
  };
  for (const auto& c : counts) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.handle, c.sql, -1, &s, nullptr) != SQLITE_OK || sqlite3_step(s) != SQLITE_ROW) {
      error = sqlite3_errmsg(db.handle);
      sqlite3_finalize(s);
      return false;
    }
    *c.into = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
  }
  return true;
}
