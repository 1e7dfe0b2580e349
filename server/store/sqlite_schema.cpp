#include "server/store/sqlite_schema.h"

#include "server/store/demo_record.h"
#include "server/store/schema_tables.h"

namespace {

int UserVersion(SqliteDb& db) {
  Statement s(db, "PRAGMA user_version");
  return s.Step() ? static_cast<int>(s.ColumnInt(0)) : -1;
}

bool SeedDemo(SqliteDb& db, const std::string& seedSerial) {
  const MachineInfo& demo = DemoRecord();
  const MarsRecord& site = demo.mars;
  Statement mars(db,
                 "INSERT INTO mars (name, active_users, active_machines, total_kest_mining, mkph,"
                 " mkps, b_kest, b_btc, b_eth, b_bnb, kest_addr, btc_addr, eth_addr, bnb_addr)"
                 " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
  mars.BindText(1, site.name)
      .BindInt(2, site.activeUsers)
      .BindInt(3, site.activeMachines)
      .BindReal(4, site.totalKestMining)
      .BindReal(5, site.mkph)
      .BindReal(6, site.mkps)
      .BindReal(7, site.buriedKest)
      .BindReal(8, site.buriedBtc)
      .BindReal(9, site.buriedEth)
      .BindReal(10, site.buriedBnb)
      .BindText(11, site.kestAddr)
      .BindText(12, site.btcAddr)
      .BindText(13, site.ethAddr)
      .BindText(14, site.bnbAddr);
  if (!mars.Run()) return false;
  const auto marsId = sqlite3_last_insert_rowid(db.Handle());

  const UserRecord& u = demo.user;
  Statement user(db,
                 "INSERT INTO users (kest_addr, btc_addr, eth_addr, bnb_addr, kest_balance,"
                 " btc_balance, eth_balance, bnb_balance) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  user.BindText(1, u.kestAddr)
      .BindText(2, u.btcAddr)
      .BindText(3, u.ethAddr)
      .BindText(4, u.bnbAddr)
      .BindReal(5, u.kestBalance)
      .BindReal(6, u.btcBalance)
      .BindReal(7, u.ethBalance)
      .BindReal(8, u.bnbBalance);
  if (!user.Run()) return false;
  const auto userId = sqlite3_last_insert_rowid(db.Handle());

  const MachineRecord& m = demo.machine;
  Statement machine(db,
                    "INSERT INTO machines (serial, name, sector, location, level, exp, fuel,"
                    " auto_charge, target_coin, kest, btc, eth, bnb, on_off, mars_id, user_id,"
                    " report_count) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12,"
                    " ?13, ?14, ?15, ?16, 0)");
  machine.BindText(1, seedSerial)
      .BindText(2, m.name)
      .BindInt(3, m.sector)
      .BindReal(4, m.location)
      .BindInt(5, m.level)
      .BindInt(6, m.exp)
      .BindInt(7, m.fuel)
      .BindInt(8, m.autoCharge)
      .BindInt(9, m.targetCoin)
      .BindReal(10, m.kest)
      .BindReal(11, m.btc)
      .BindReal(12, m.eth)
      .BindReal(13, m.bnb)
      .BindInt(14, m.onOff)
      .BindInt(15, marsId)
      .BindInt(16, userId);
  if (!machine.Run()) return false;

  for (const CoinPriceRow& p : CoinPriceRows(demo.prices)) {
    Statement row(db, "INSERT OR REPLACE INTO coin_prices (coin, usd) VALUES (?1, ?2)");
    row.BindText(1, p.coin).BindReal(2, p.usd);
    if (!row.Run()) return false;
  }
  return true;
}

}  // namespace

bool PrepareDatabase(SqliteDb& db, const std::string& seedSerial, bool& seeded, std::string& error) {
  seeded = false;
  Transaction tx(db);
  if (!tx.Began()) {
    error = "cannot start a transaction: " + db.LastError();
    return false;
  }
  const int version = UserVersion(db);
  if (version < 0) {
    error = "cannot read the schema version: " + db.LastError();
    return false;
  }
  if (version > kSchemaVersion) {
    error = "the database was made by a newer mining-service (schema " + std::to_string(version) + ")";
    return false;
  }
  if (!db.Exec(CreateTablesSql(SqlDialect::kSqlite).c_str())) {
    error = "cannot create the tables: " + db.LastError();
    return false;
  }
  if (version == 0) {
    if (!SeedDemo(db, seedSerial)) {
      error = "cannot seed the demo machine: " + db.LastError();
      return false;
    }
    // PRAGMA takes no parameters; the number is fixed text of ours.
    static_assert(kSchemaVersion == 1, "update the PRAGMA text below");
    if (!db.Exec("PRAGMA user_version = 1")) {
      error = "cannot mark the database: " + db.LastError();
      return false;
    }
    seeded = true;
  }
  if (!tx.Commit()) {
    error = "cannot commit the database set-up: " + db.LastError();
    return false;
  }
  return true;
}
