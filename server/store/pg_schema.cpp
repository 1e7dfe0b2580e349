#include "server/store/pg_schema.h"

#include "server/store/demo_record.h"
#include "server/store/schema_tables.h"

namespace {

// PostgreSQL has no user_version of SQLite's: the version is a row of a table of its own.
constexpr const char* kVersionTable =
    "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);\n";

bool SeedDemo(PgConnection& db, const std::string& seedSerial) {
  const MachineInfo& demo = DemoRecord();
  const MarsRecord& s = demo.mars;
  PgResult mars = db.Run(
      "INSERT INTO mars (name, active_users, active_machines, total_kest_mining, mkph, mkps,"
      " b_kest, b_btc, b_eth, b_bnb, kest_addr, btc_addr, eth_addr, bnb_addr)"
      " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14) RETURNING id",
      PgParams()
          .Text(s.name)
          .Int(s.activeUsers)
          .Int(s.activeMachines)
          .Real(s.totalKestMining)
          .Real(s.mkph)
          .Real(s.mkps)
          .Real(s.buriedKest)
          .Real(s.buriedBtc)
          .Real(s.buriedEth)
          .Real(s.buriedBnb)
          .Text(s.kestAddr)
          .Text(s.btcAddr)
          .Text(s.ethAddr)
          .Text(s.bnbAddr));
  const UserRecord& u = demo.user;
  PgResult user = db.Run(
      "INSERT INTO users (kest_addr, btc_addr, eth_addr, bnb_addr, kest_balance, btc_balance,"
      " eth_balance, bnb_balance) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) RETURNING id",
      PgParams()
          .Text(u.kestAddr)
          .Text(u.btcAddr)
          .Text(u.ethAddr)
          .Text(u.bnbAddr)
          .Real(u.kestBalance)
          .Real(u.btcBalance)
          .Real(u.ethBalance)
          .Real(u.bnbBalance));
  if (!mars.Ok() || !user.Ok() || mars.Rows() != 1 || user.Rows() != 1) return false;
  const MachineRecord& m = demo.machine;
  PgResult machine = db.Run(
      "INSERT INTO machines (serial, name, sector, location, level, exp, fuel, auto_charge,"
      " target_coin, kest, btc, eth, bnb, on_off, mars_id, user_id) VALUES ($1, $2, $3, $4,"
      " $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16)",
      PgParams()
          .Bytes(seedSerial)
          .Text(m.name)
          .Int(m.sector)
          .Real(m.location)
          .Int(m.level)
          .Int(m.exp)
          .Int(m.fuel)
          .Int(m.autoCharge)
          .Int(m.targetCoin)
          .Real(m.kest)
          .Real(m.btc)
          .Real(m.eth)
          .Real(m.bnb)
          .Int(m.onOff)
          .Int(mars.Int(0, 0))
          .Int(user.Int(0, 0)));
  if (!machine.Ok()) return false;
  for (const CoinPriceRow& p : CoinPriceRows(demo.prices)) {
    if (!db.Run("INSERT INTO coin_prices (coin, usd) VALUES ($1, $2)"
                " ON CONFLICT (coin) DO UPDATE SET usd = EXCLUDED.usd",
                PgParams().Text(p.coin).Real(p.usd))
             .Ok()) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool PreparePgDatabase(PgConnection& db, const std::string& seedSerial, bool& seeded, std::string& error) {
  seeded = false;
  if (!db.Exec("BEGIN") || !db.Exec("SELECT pg_advisory_xact_lock(8216)") ||
      !db.Exec((kVersionTable + CreateTablesSql(SqlDialect::kPostgres)).c_str())) {
    error = "cannot create the tables: " + db.LastError();
    db.Exec("ROLLBACK");
    return false;
  }
  PgResult version = db.Run("SELECT max(version) FROM schema_version");
  const bool fresh = version.Ok() && version.Text(0, 0).empty();
  if (version.Ok() && !fresh && version.Int(0, 0) > kSchemaVersion) {
    error = "the database was made by a newer mining-service";
    db.Exec("ROLLBACK");
    return false;
  }
  if (fresh) {
    if (!SeedDemo(db, seedSerial) ||
        !db.Run("INSERT INTO schema_version (version) VALUES ($1)", PgParams().Int(kSchemaVersion)).Ok()) {
      error = "cannot seed the demo machine: " + db.LastError();
      db.Exec("ROLLBACK");
      return false;
    }
    seeded = true;
  }
  if (!db.Exec("COMMIT")) {
    error = "cannot commit the database set-up: " + db.LastError();
    return false;
  }
  return true;
}
