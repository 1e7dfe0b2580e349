#include "server/store/sqlite_store.h"

#include <cstdint>

#include "server/store/report_rules.h"
#include "server/store/sqlite_schema.h"

namespace {

bool ReadPrices(SqliteDb& db, CoinPrices& prices) {
  Statement s(db, "SELECT coin, usd FROM coin_prices");
  while (s.Step()) {
    const std::string coin = s.ColumnText(0);
    const double usd = s.ColumnReal(1);
    if (coin == "BTC")
      prices.btc = usd;
    else if (coin == "ETH")
      prices.eth = usd;
    else if (coin == "BNB")
      prices.bnb = usd;
    else if (coin == "KEST")
      prices.kest = usd;
  }
  return !s.Failed();
}

}  // namespace

// Enough for a burst's worth of waiting requests in one commit, small enough that the
// first of them is not kept waiting long for the last.
constexpr std::size_t kMaxBatch = 512;

bool SqliteStore::Open(const std::string& path, const std::string& seedSerial, std::string& error,
                       int readers) {
  if (!db_.Open(path)) {
    error = "cannot open database '" + path + "': " + db_.LastError();
    return false;
  }
  // WAL: readers never block the writer and a commit appends to the log instead of
  // rewriting pages; NORMAL syncs at checkpoints, not at every commit.
  {
    Statement wal(db_, "PRAGMA journal_mode=WAL");
    if (!wal.Step() || wal.ColumnText(0) != "wal") {
      error = "cannot switch '" + path + "' to WAL mode: " + db_.LastError();
      return false;
    }
  }
  if (!db_.Exec("PRAGMA synchronous=NORMAL")) {
    error = "cannot set synchronous=NORMAL: " + db_.LastError();
    return false;
  }
  if (!PrepareDatabase(db_, seedSerial, seeded_, error)) return false;
  if (!readers_.Open(path, readers < 1 ? 1 : readers, error)) return false;
  batch_ = std::make_unique<SqliteBatch>(db_);
  writer_ = std::make_unique<GroupCommitWriter>(*batch_, kMaxBatch);
  return true;
}

std::optional<MachineInfo> SqliteStore::LoadMachineInfo(const std::string& serial, bool& failed) {
  auto lease = readers_.Borrow();
  SqliteDb& db = lease.Db();
  failed = false;
  // The machine and the prices in one snapshot.
  Transaction snapshot(db, Transaction::Kind::kRead);
  Statement s(db,
              "SELECT m.name, m.sector, m.location, m.level, m.exp, m.fuel, m.auto_charge,"
              " m.target_coin, m.kest, m.btc, m.eth, m.bnb, m.on_off,"
              " s.name, s.active_users, s.active_machines, s.total_kest_mining, s.mkph, s.mkps,"
              " s.b_kest, s.b_btc, s.b_eth, s.b_bnb, s.kest_addr, s.btc_addr, s.eth_addr,"
              " s.bnb_addr,"
              " u.kest_addr, u.btc_addr, u.eth_addr, u.bnb_addr, u.kest_balance, u.btc_balance,"
              " u.eth_balance, u.bnb_balance"
              " FROM machines m JOIN mars s ON s.id = m.mars_id JOIN users u ON u.id = m.user_id"
              " WHERE m.serial = ?1");
  s.BindText(1, serial);
  if (!s.Step()) {
    failed = s.Failed();
    return std::nullopt;
  }
  MachineInfo info;
  int c = 0;
  MachineRecord& m = info.machine;
  m.name = s.ColumnText(c++);
  m.sector = ClampToInt(s.ColumnInt(c++));
  m.location = s.ColumnReal(c++);
  m.level = ClampToInt(s.ColumnInt(c++));
  m.exp = ClampToInt(s.ColumnInt(c++));
  m.fuel = ClampToInt(s.ColumnInt(c++));
  m.autoCharge = ClampToInt(s.ColumnInt(c++));
  m.targetCoin = ClampToInt(s.ColumnInt(c++));
  m.kest = s.ColumnReal(c++);
  m.btc = s.ColumnReal(c++);
  m.eth = s.ColumnReal(c++);
  m.bnb = s.ColumnReal(c++);
  m.onOff = ClampToInt(s.ColumnInt(c++));
  MarsRecord& mars = info.mars;
  mars.name = s.ColumnText(c++);
  mars.activeUsers = ClampToInt(s.ColumnInt(c++));
  mars.activeMachines = ClampToInt(s.ColumnInt(c++));
  mars.totalKestMining = s.ColumnReal(c++);
  mars.mkph = s.ColumnReal(c++);
  mars.mkps = s.ColumnReal(c++);
  mars.buriedKest = s.ColumnReal(c++);
  mars.buriedBtc = s.ColumnReal(c++);
  mars.buriedEth = s.ColumnReal(c++);
  mars.buriedBnb = s.ColumnReal(c++);
  mars.kestAddr = s.ColumnText(c++);
  mars.btcAddr = s.ColumnText(c++);
  mars.ethAddr = s.ColumnText(c++);
  mars.bnbAddr = s.ColumnText(c++);
  UserRecord& u = info.user;
  u.kestAddr = s.ColumnText(c++);
  u.btcAddr = s.ColumnText(c++);
  u.ethAddr = s.ColumnText(c++);
  u.bnbAddr = s.ColumnText(c++);
  u.kestBalance = s.ColumnReal(c++);
  u.btcBalance = s.ColumnReal(c++);
  u.ethBalance = s.ColumnReal(c++);
  u.bnbBalance = s.ColumnReal(c++);
  if (!ReadPrices(db, info.prices)) {
    failed = true;
    return std::nullopt;
  }
  return info;
}

ReportOutcome SqliteStore::ApplyReport(const StatusReport& report, int boostEvery) {
  // The scramble check costs thirty scrambles; done here, on the request's thread.
  StoreWrite write = StoreWrite::Report(report, CryMatchesAmount(report.amountText, report.cry), boostEvery);
  if (!writer_->Run(write)) return ReportOutcome{};
  return write.outcome;
}

bool SqliteStore::RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) {
  StoreWrite write = StoreWrite::Notice(notice);
  const bool stored = writer_->Run(write);
  knownMachine = stored && write.knownMachine;
  return stored;
}
