#include "server/postgres_store.h"

#include <cstdint>

#include "server/demo_record.h"
#include "server/report_rules.h"

namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kCreateTables = R"sql(
CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS mars (
  id BIGSERIAL PRIMARY KEY,
  name TEXT NOT NULL,
  active_users INTEGER NOT NULL DEFAULT 0,
  active_machines INTEGER NOT NULL DEFAULT 0,
  total_kest_mining DOUBLE PRECISION NOT NULL DEFAULT 0,
  mkph DOUBLE PRECISION NOT NULL DEFAULT 0,
  mkps DOUBLE PRECISION NOT NULL DEFAULT 0,
  b_kest DOUBLE PRECISION NOT NULL DEFAULT 0,
  b_btc DOUBLE PRECISION NOT NULL DEFAULT 0,
  b_eth DOUBLE PRECISION NOT NULL DEFAULT 0,
  b_bnb DOUBLE PRECISION NOT NULL DEFAULT 0,
  kest_addr TEXT NOT NULL DEFAULT '',
  btc_addr TEXT NOT NULL DEFAULT '',
  eth_addr TEXT NOT NULL DEFAULT '',
  bnb_addr TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS users (
  id BIGSERIAL PRIMARY KEY,
  kest_addr TEXT NOT NULL DEFAULT '',
  btc_addr TEXT NOT NULL DEFAULT '',
  eth_addr TEXT NOT NULL DEFAULT '',
  bnb_addr TEXT NOT NULL DEFAULT '',
  kest_balance DOUBLE PRECISION NOT NULL DEFAULT 0,
  btc_balance DOUBLE PRECISION NOT NULL DEFAULT 0,
  eth_balance DOUBLE PRECISION NOT NULL DEFAULT 0,
  bnb_balance DOUBLE PRECISION NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS machines (
  id BIGSERIAL PRIMARY KEY,
  serial BYTEA NOT NULL UNIQUE,
  name TEXT NOT NULL DEFAULT '',
  sector INTEGER NOT NULL DEFAULT 0,
  location DOUBLE PRECISION NOT NULL DEFAULT 0,
  level INTEGER NOT NULL DEFAULT 0,
  exp INTEGER NOT NULL DEFAULT 0,
  fuel INTEGER NOT NULL DEFAULT 0,
  auto_charge INTEGER NOT NULL DEFAULT 0,
  target_coin INTEGER NOT NULL DEFAULT 0,
  kest DOUBLE PRECISION NOT NULL DEFAULT 0,
  btc DOUBLE PRECISION NOT NULL DEFAULT 0,
  eth DOUBLE PRECISION NOT NULL DEFAULT 0,
  bnb DOUBLE PRECISION NOT NULL DEFAULT 0,
  on_off INTEGER NOT NULL DEFAULT 0,
  mars_id BIGINT NOT NULL REFERENCES mars(id),
  user_id BIGINT NOT NULL REFERENCES users(id),
  report_count BIGINT NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS coin_prices (
  coin TEXT PRIMARY KEY,
  usd DOUBLE PRECISION NOT NULL
);
CREATE TABLE IF NOT EXISTS reports (
  id BIGSERIAL PRIMARY KEY,
  serial BYTEA NOT NULL,
  mac BYTEA NOT NULL,
  exp INTEGER NOT NULL,
  mps DOUBLE PRECISION NOT NULL,
  locate DOUBLE PRECISION NOT NULL,
  mci_kest DOUBLE PRECISION NOT NULL,
  mci_kest_text BYTEA NOT NULL,
  cry BYTEA NOT NULL,
  cry_ok INTEGER NOT NULL,
  known_machine INTEGER NOT NULL,
  fuel_after INTEGER NOT NULL,
  code INTEGER NOT NULL,
  received_at TIMESTAMPTZ NOT NULL DEFAULT now()
);
CREATE TABLE IF NOT EXISTS power_notices (
  id BIGSERIAL PRIMARY KEY,
  serial BYTEA NOT NULL,
  mac BYTEA NOT NULL,
  on_off INTEGER NOT NULL,
  known_machine INTEGER NOT NULL,
  received_at TIMESTAMPTZ NOT NULL DEFAULT now()
);
CREATE INDEX IF NOT EXISTS reports_by_serial ON reports(serial);
CREATE INDEX IF NOT EXISTS power_notices_by_serial ON power_notices(serial);
)sql";

int AsInt(std::int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int>(v);
}

bool SeedDemo(PgConnection& db, const std::string& seedSerial) {
  const MachineInfo& demo = DemoRecord();
  const MarsRecord& s = demo.mars;
  PgResult mars = db.Run(
      "INSERT INTO mars (name, active_users, active_machines, total_kest_mining, mkph, mkps,"
      " b_kest, b_btc, b_eth, b_bnb, kest_addr, btc_addr, eth_addr, bnb_addr)"
      " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14) RETURNING id",
      PgParams()
          .Text(s.name).Int(s.activeUsers).Int(s.activeMachines).Real(s.totalKestMining)
          .Real(s.mkph).Real(s.mkps).Real(s.buriedKest).Real(s.buriedBtc).Real(s.buriedEth)
          .Real(s.buriedBnb).Text(s.kestAddr).Text(s.btcAddr).Text(s.ethAddr).Text(s.bnbAddr));
  const UserRecord& u = demo.user;
  PgResult user = db.Run(
      "INSERT INTO users (kest_addr, btc_addr, eth_addr, bnb_addr, kest_balance, btc_balance,"
      " eth_balance, bnb_balance) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) RETURNING id",
      PgParams()
          .Text(u.kestAddr).Text(u.btcAddr).Text(u.ethAddr).Text(u.bnbAddr)
          .Real(u.kestBalance).Real(u.btcBalance).Real(u.ethBalance).Real(u.bnbBalance));
  if (!mars.Ok() || !user.Ok() || mars.Rows() != 1 || user.Rows() != 1) return false;
  const MachineRecord& m = demo.machine;
  PgResult machine = db.Run(
      "INSERT INTO machines (serial, name, sector, location, level, exp, fuel, auto_charge,"
      " target_coin, kest, btc, eth, bnb, on_off, mars_id, user_id) VALUES ($1, $2, $3, $4,"
      " $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16)",
      PgParams()
          .Bytes(seedSerial).Text(m.name).Int(m.sector).Real(m.location).Int(m.level)
          .Int(m.exp).Int(m.fuel).Int(m.autoCharge).Int(m.targetCoin).Real(m.kest).Real(m.btc)
          .Real(m.eth).Real(m.bnb).Int(m.onOff).Int(mars.Int(0, 0)).Int(user.Int(0, 0)));
  if (!machine.Ok()) return false;
  const struct {
    const char* coin;
    double usd;
  } prices[] = {{"BTC", demo.prices.btc}, {"ETH", demo.prices.eth}, {"BNB", demo.prices.bnb},
                {"KEST", demo.prices.kest}};
  for (const auto& p : prices) {
    if (!db.Run("INSERT INTO coin_prices (coin, usd) VALUES ($1, $2)"
                " ON CONFLICT (coin) DO UPDATE SET usd = EXCLUDED.usd",
                PgParams().Text(p.coin).Real(p.usd))
             .Ok()) {
      return false;
    }
  }
  return true;
}

// Tables and the demo record, once per database; an advisory lock keeps two services
// starting together from seeding twice.
bool Prepare(PgConnection& db, const std::string& seedSerial, bool& seeded, std::string& error) {
  seeded = false;
  if (!db.Exec("BEGIN") || !db.Exec("SELECT pg_advisory_xact_lock(8216)") ||
      !db.Exec(kCreateTables)) {
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
        !db.Run("INSERT INTO schema_version (version) VALUES ($1)", PgParams().Int(kSchemaVersion))
             .Ok()) {
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

}  // namespace

class PostgresStore::Lease {
 public:
  explicit Lease(PostgresStore& store) : store_(store), db_(store.Borrow()) {}
  ~Lease() { store_.Return(db_); }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  PgConnection& Db() { return db_; }

 private:
  PostgresStore& store_;
  PgConnection& db_;
};

bool PostgresStore::Open(const std::string& uri, const std::string& seedSerial, int connections,
                         std::string& error) {
  for (int i = 0; i < (connections < 1 ? 1 : connections); ++i) {
    auto c = std::make_unique<PgConnection>();
    if (!c->Open(uri, error)) {
      error = "cannot connect to the PostgreSQL database: " + error;
      return false;
    }
    free_.push_back(c.get());
    all_.push_back(std::move(c));
  }
  return Prepare(*all_.front(), seedSerial, seeded_, error);
}

PgConnection& PostgresStore::Borrow() {
  std::unique_lock<std::mutex> lock(mutex_);
  returned_.wait(lock, [&] { return !free_.empty(); });
  PgConnection* c = free_.back();
  free_.pop_back();
  return *c;
}

void PostgresStore::Return(PgConnection& c) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(&c);
  }
  returned_.notify_one();
}

std::optional<MachineInfo> PostgresStore::LoadMachineInfo(const std::string& serial, bool& failed) {
  Lease lease(*this);
  PgConnection& db = lease.Db();
  failed = false;
  PgResult r = db.Run(
      "SELECT m.name, m.sector, m.location, m.level, m.exp, m.fuel, m.auto_charge,"
      " m.target_coin, m.kest, m.btc, m.eth, m.bnb, m.on_off,"
      " s.name, s.active_users, s.active_machines, s.total_kest_mining, s.mkph, s.mkps,"
      " s.b_kest, s.b_btc, s.b_eth, s.b_bnb, s.kest_addr, s.btc_addr, s.eth_addr, s.bnb_addr,"
      " u.kest_addr, u.btc_addr, u.eth_addr, u.bnb_addr, u.kest_balance, u.btc_balance,"
      " u.eth_balance, u.bnb_balance,"
      " (SELECT usd FROM coin_prices WHERE coin = 'BTC'),"
      " (SELECT usd FROM coin_prices WHERE coin = 'ETH'),"
      " (SELECT usd FROM coin_prices WHERE coin = 'BNB'),"
      " (SELECT usd FROM coin_prices WHERE coin = 'KEST')"
      " FROM machines m JOIN mars s ON s.id = m.mars_id JOIN users u ON u.id = m.user_id"
      " WHERE m.serial = $1",
      PgParams().Bytes(serial));
  if (!r.Ok()) {
    failed = true;
    return std::nullopt;
  }
  if (r.Rows() == 0) return std::nullopt;
  MachineInfo info;
  int c = 0;
  MachineRecord& m = info.machine;
  m.name = r.Text(0, c++);
  m.sector = AsInt(r.Int(0, c++));
  m.location = r.Real(0, c++);
  m.level = AsInt(r.Int(0, c++));
  m.exp = AsInt(r.Int(0, c++));
  m.fuel = AsInt(r.Int(0, c++));
  m.autoCharge = AsInt(r.Int(0, c++));
  m.targetCoin = AsInt(r.Int(0, c++));
  m.kest = r.Real(0, c++);
  m.btc = r.Real(0, c++);
  m.eth = r.Real(0, c++);
  m.bnb = r.Real(0, c++);
  m.onOff = AsInt(r.Int(0, c++));
  MarsRecord& s = info.mars;
  s.name = r.Text(0, c++);
  s.activeUsers = AsInt(r.Int(0, c++));
  s.activeMachines = AsInt(r.Int(0, c++));
  s.totalKestMining = r.Real(0, c++);
  s.mkph = r.Real(0, c++);
  s.mkps = r.Real(0, c++);
  s.buriedKest = r.Real(0, c++);
  s.buriedBtc = r.Real(0, c++);
  s.buriedEth = r.Real(0, c++);
  s.buriedBnb = r.Real(0, c++);
  s.kestAddr = r.Text(0, c++);
  s.btcAddr = r.Text(0, c++);
  s.ethAddr = r.Text(0, c++);
  s.bnbAddr = r.Text(0, c++);
  UserRecord& u = info.user;
  u.kestAddr = r.Text(0, c++);
  u.btcAddr = r.Text(0, c++);
  u.ethAddr = r.Text(0, c++);
  u.bnbAddr = r.Text(0, c++);
  u.kestBalance = r.Real(0, c++);
  u.btcBalance = r.Real(0, c++);
  u.ethBalance = r.Real(0, c++);
  u.bnbBalance = r.Real(0, c++);
  info.prices.btc = r.Real(0, c++);
  info.prices.eth = r.Real(0, c++);
  info.prices.bnb = r.Real(0, c++);
  info.prices.kest = r.Real(0, c++);
  return info;
}

ReportOutcome PostgresStore::ApplyReport(const StatusReport& report, int boostEvery) {
  const bool cryOk = CryMatchesAmount(report.amountText, report.cry);
  Lease lease(*this);
  PgConnection& db = lease.Db();
  ReportOutcome out;
  if (!db.Exec("BEGIN")) return ReportOutcome{};
  // Reports of one machine are applied one after the other: the row is locked.
  PgResult find = db.Run(
      "SELECT id, fuel, kest, report_count FROM machines WHERE serial = $1 FOR UPDATE",
      PgParams().Bytes(report.serial));
  bool ok = find.Ok();
  if (ok && find.Rows() == 1) {
    out.knownMachine = true;
    out.kest = find.Real(0, 2);
    const std::int64_t reportNumber = find.Int(0, 3) + 1;
    const ReportDecision d = DecideReport(AsInt(find.Int(0, 1)), cryOk, reportNumber, boostEvery);
    out.fuel = d.fuelAfter;
    out.code = d.code;
    if (d.acceptAmount) out.kest = report.amount;
    ok = db.Run("UPDATE machines SET fuel = $1, report_count = $2,"
                " kest = CASE WHEN $3 THEN $4 ELSE kest END,"
                " exp = CASE WHEN $3 THEN $5 ELSE exp END WHERE id = $6",
                PgParams()
                    .Int(d.fuelAfter).Int(reportNumber).Text(d.acceptAmount ? "true" : "false")
                    .Real(report.amount).Int(report.exp).Int(find.Int(0, 0)))
             .Ok();
  }
  ok = ok && db.Run("INSERT INTO reports (serial, mac, exp, mps, locate, mci_kest, mci_kest_text,"
                    " cry, cry_ok, known_machine, fuel_after, code) VALUES ($1, $2, $3, $4, $5,"
                    " $6, $7, $8, $9, $10, $11, $12)",
                    PgParams()
                        .Bytes(report.serial).Bytes(report.mac).Int(report.exp).Real(report.mps)
                        .Real(report.locate).Real(report.amount).Bytes(report.amountText)
                        .Bytes(report.cry).Int(cryOk ? 1 : 0).Int(out.knownMachine ? 1 : 0)
                        .Int(out.fuel).Int(out.code))
                 .Ok();
  if (!ok || !db.Exec("COMMIT")) {
    db.Exec("ROLLBACK");
    return ReportOutcome{};
  }
  out.stored = true;
  return out;
}

bool PostgresStore::RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) {
  Lease lease(*this);
  PgResult r = lease.Db().Run(
      "INSERT INTO power_notices (serial, mac, on_off, known_machine)"
      " SELECT $1, $2, $3, CASE WHEN EXISTS (SELECT 1 FROM machines WHERE serial = $1)"
      " THEN 1 ELSE 0 END RETURNING known_machine",
      PgParams().Bytes(notice.serial).Bytes(notice.mac).Int(notice.onOff));
  knownMachine = r.Ok() && r.Rows() == 1 && r.Int(0, 0) == 1;
  return r.Ok() && r.Rows() == 1;
}
