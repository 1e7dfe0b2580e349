// The fleet's machines and its rows in a PostgreSQL database: the same as with SQLite, the
// texts as bytea, as the service keeps them.
#include "fleet_seed.h"

#include "fleet_machine.h"
#include "server/store/pg_db.h"

bool SeedFleetPostgres(const std::string& uri, int machines, std::string& error) {
  PgConnection db;
  if (!db.Open(uri, error)) return false;
  if (!db.Exec("BEGIN")) {
    error = db.LastError();
    return false;
  }
  const char* sql =
      "INSERT INTO machines (serial, name, sector, location, level, exp, fuel, auto_charge,"
      " target_coin, kest, btc, eth, bnb, on_off, mars_id, user_id, report_count)"
      " SELECT $1, name, sector, location + $2, level, exp, fuel, auto_charge, target_coin,"
      " kest, btc, eth, bnb, 1, mars_id, user_id, 0 FROM machines ORDER BY id LIMIT 1";
  for (int i = 0; i < machines; ++i) {
    if (!db.Run(sql, PgParams().Bytes(FleetSerial(i)).Real(i * 0.001)).Ok()) {
      error = db.LastError();
      return false;
    }
  }
  if (!db.Exec("COMMIT")) {
    error = db.LastError();
    return false;
  }
  return true;
}

bool CountFleetRowsPostgres(const std::string& uri, FleetRows& rows, std::string& error) {
  PgConnection db;
  if (!db.Open(uri, error)) return false;
  const struct {
    const char* sql;
    std::int64_t* into;
  } counts[] = {
      {"SELECT COUNT(*) FROM reports WHERE serial LIKE $1", &rows.reports},
      {"SELECT COUNT(*) FROM power_notices WHERE serial LIKE $1 AND on_off = 1", &rows.powerOn},
      {"SELECT COUNT(*) FROM power_notices WHERE serial LIKE $1 AND on_off = 0", &rows.powerOff},
  };
  for (const auto& c : counts) {
    const PgResult r = db.Run(c.sql, PgParams().Bytes(kFleetSerialPattern));
    if (!r.Ok() || r.Rows() != 1) {
      error = db.LastError();
      return false;
    }
    *c.into = r.Int(0, 0);
  }
  return true;
}
