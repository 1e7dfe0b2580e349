#include "server/store/postgres_store.h"

#include <cstdint>

#include "server/store/pg_schema.h"
#include "server/store/report_rules.h"

namespace {

// As for SQLite: a burst's worth of waiting requests per commit.
constexpr std::size_t kMaxBatch = 512;

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
      error.insert(0, "cannot connect to the PostgreSQL database: ");
      return false;
    }
    free_.push_back(c.get());
    all_.push_back(std::move(c));
  }
  if (!PreparePgDatabase(*all_.front(), seedSerial, seeded_, error)) return false;
  if (!writerDb_.Open(uri, error)) {
    error = "cannot connect to the PostgreSQL database: " + error;
    return false;
  }
  batch_ = std::make_unique<PgBatch>(writerDb_);
  writer_ = std::make_unique<GroupCommitWriter>(*batch_, kMaxBatch);
  return true;
}

PgConnection& PostgresStore::Borrow() {
  std::unique_lock<std::mutex> lock(mutex_);
  returned_.wait(lock, [&] { return !free_.empty(); });
  PgConnection* c = free_.back();
  free_.pop_back();
  lock.unlock();
  c->Reconnect();  // a reader lost to a server restart comes back at its next use
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
  m.sector = ClampToInt(r.Int(0, c++));
  m.location = r.Real(0, c++);
  m.level = ClampToInt(r.Int(0, c++));
  m.exp = ClampToInt(r.Int(0, c++));
  m.fuel = ClampToInt(r.Int(0, c++));
  m.autoCharge = ClampToInt(r.Int(0, c++));
  m.targetCoin = ClampToInt(r.Int(0, c++));
  m.kest = r.Real(0, c++);
  m.btc = r.Real(0, c++);
  m.eth = r.Real(0, c++);
  m.bnb = r.Real(0, c++);
  m.onOff = ClampToInt(r.Int(0, c++));
  MarsRecord& s = info.mars;
  s.name = r.Text(0, c++);
  s.activeUsers = ClampToInt(r.Int(0, c++));
  s.activeMachines = ClampToInt(r.Int(0, c++));
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
  // The scramble check costs thirty scrambles; done here, on the request's thread.
  StoreWrite write = StoreWrite::Report(report, CryMatchesAmount(report.amountText, report.cry), boostEvery);
  if (!writer_->Run(write)) return ReportOutcome{};
  return write.outcome;
}

bool PostgresStore::RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) {
  StoreWrite write = StoreWrite::Notice(notice);
  const bool stored = writer_->Run(write);
  knownMachine = stored && write.knownMachine;
  return stored;
}
