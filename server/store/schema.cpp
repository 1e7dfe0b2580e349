#include "server/store/schema.h"

#include "server/store/demo_record.h"

namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kCreateTables = R"sql(
CREATE TABLE IF NOT EXISTS mars (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  active_users INTEGER NOT NULL DEFAULT 0,
  active_machines INTEGER NOT NULL DEFAULT 0,
  total_kest_mining REAL NOT NULL DEFAULT 0,
  mkph REAL NOT NULL DEFAULT 0,
  mkps REAL NOT NULL DEFAULT 0,
  b_kest REAL NOT NULL DEFAULT 0,
  b_btc REAL NOT NULL DEFAULT 0,
  b_eth REAL NOT NULL DEFAULT 0,
  b_bnb REAL NOT NULL DEFAULT 0,
  kest_addr TEXT NOT NULL DEFAULT '',
  btc_addr TEXT NOT NULL DEFAULT '',
  eth_addr TEXT NOT NULL DEFAULT '',
  bnb_addr TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS users (
  id INTEGER PRIMARY KEY,
  kest_addr TEXT NOT NULL DEFAULT '',
  btc_addr TEXT NOT NULL DEFAULT '',
  eth_addr TEXT NOT NULL DEFAULT '',
  bnb_addr TEXT NOT NULL DEFAULT '',
  kest_balance REAL NOT NULL DEFAULT 0,
  btc_balance REAL NOT NULL DEFAULT 0,
  eth_balance REAL NOT NULL DEFAULT 0,
  bnb_balance REAL NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS machines (
  id INTEGER PRIMARY KEY,
  serial TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL DEFAULT '',
  sector INTEGER NOT NULL DEFAULT 0,
  location REAL NOT NULL DEFAULT 0,
  level INTEGER NOT NULL DEFAULT 0,
  exp INTEGER NOT NULL DEFAULT 0,
  fuel INTEGER NOT NULL DEFAULT 0,
  auto_charge INTEGER NOT NULL DEFAULT 0,
  target_coin INTEGER NOT NULL DEFAULT 0,
  kest REAL NOT NULL DEFAULT 0,
  btc REAL NOT NULL DEFAULT 0,
  eth REAL NOT NULL DEFAULT 0,
  bnb REAL NOT NULL DEFAULT 0,
  on_off INTEGER NOT NULL DEFAULT 0,
  mars_id INTEGER NOT NULL REFERENCES mars(id),
  user_id INTEGER NOT NULL REFERENCES users(id),
  report_count INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS coin_prices (
  coin TEXT PRIMARY KEY,
  usd REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS reports (
  id INTEGER PRIMARY KEY,
  serial TEXT NOT NULL,
  mac TEXT NOT NULL,
  exp INTEGER NOT NULL,
  mps REAL NOT NULL,
  locate REAL NOT NULL,
  mci_kest REAL NOT NULL,
  mci_kest_text TEXT NOT NULL,
  cry BLOB NOT NULL,
  cry_ok INTEGER NOT NULL,
  known_machine INTEGER NOT NULL,
  fuel_after INTEGER NOT NULL,
  code INTEGER NOT NULL,
  received_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))
);
CREATE TABLE IF NOT EXISTS power_notices (
  id INTEGER PRIMARY KEY,
  serial TEXT NOT NULL,
  mac TEXT NOT NULL,
  on_off INTEGER NOT NULL,
  known_machine INTEGER NOT NULL,
  received_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))
);
CREATE INDEX IF NOT EXISTS reports_by_serial ON reports(serial);
CREATE INDEX IF NOT EXISTS power_notices_by_serial ON power_notices(serial);
)sql";

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

  const struct {
    const char* coin;
    double usd;
  } prices[] = {{"BTC", demo.prices.btc},
                {"ETH", demo.prices.eth},
                {"BNB", demo.prices.bnb},
                {"KEST", demo.prices.kest}};
  for (const auto& p : prices) {
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
  if (!db.Exec(kCreateTables)) {
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
