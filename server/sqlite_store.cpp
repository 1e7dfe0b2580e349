#include "server/sqlite_store.h"

#include <cstdint>

#include "server/report_rules.h"
#include "server/schema.h"

namespace {

int AsInt(std::int64_t v) {
  // Values are ours, but a hand-edited database must not overflow the reply's "%d".
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int>(v);
}

bool ReadPrices(SqliteDb& db, CoinPrices& prices) {
  Statement s(db, "SELECT coin, usd FROM coin_prices");
  while (s.Step()) {
    const std::string coin = s.ColumnText(0);
    const double usd = s.ColumnReal(1);
    if (coin == "BTC") prices.btc = usd;
    else if (coin == "ETH") prices.eth = usd;
    else if (coin == "BNB") prices.bnb = usd;
    else if (coin == "KEST") prices.kest = usd;
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
  writer_ = std::make_unique<GroupCommitWriter>(db_, kMaxBatch);
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
  m.sector = AsInt(s.ColumnInt(c++));
  m.location = s.ColumnReal(c++);
  m.level = AsInt(s.ColumnInt(c++));
  m.exp = AsInt(s.ColumnInt(c++));
  m.fuel = AsInt(s.ColumnInt(c++));
  m.autoCharge = AsInt(s.ColumnInt(c++));
  m.targetCoin = AsInt(s.ColumnInt(c++));
  m.kest = s.ColumnReal(c++);
  m.btc = s.ColumnReal(c++);
  m.eth = s.ColumnReal(c++);
  m.bnb = s.ColumnReal(c++);
  m.onOff = AsInt(s.ColumnInt(c++));
  MarsRecord& mars = info.mars;
  mars.name = s.ColumnText(c++);
  mars.activeUsers = AsInt(s.ColumnInt(c++));
  mars.activeMachines = AsInt(s.ColumnInt(c++));
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
  ReportOutcome out;
  // The scramble check costs thirty scrambles; done here, on the request's thread.
  const bool cryOk = CryMatchesAmount(report.amountText, report.cry);
  const bool stored = writer_->Run([&](SqliteDb& db) {
    out = WriteReport(db, report, cryOk, boostEvery);
    return out.stored;
  });
  if (!stored) return ReportOutcome{};
  return out;
}

ReportOutcome SqliteStore::WriteReport(SqliteDb& db, const StatusReport& report, bool cryOk,
                                       int boostEvery) {
  ReportOutcome out;
  std::int64_t machineId = 0;
  int fuelBefore = 0;
  std::int64_t reportNumber = 0;
  {
    Statement find(db, "SELECT id, fuel, kest, report_count FROM machines WHERE serial = ?1");
    find.BindText(1, report.serial);
    if (find.Step()) {
      out.knownMachine = true;
      machineId = find.ColumnInt(0);
      fuelBefore = AsInt(find.ColumnInt(1));
      out.kest = find.ColumnReal(2);
      reportNumber = find.ColumnInt(3) + 1;
    } else if (find.Failed()) {
      return ReportOutcome{};
    }
  }

  if (out.knownMachine) {
    const ReportDecision d = DecideReport(fuelBefore, cryOk, reportNumber, boostEvery);
    out.fuel = d.fuelAfter;
    out.code = d.code;
    if (d.acceptAmount) out.kest = report.amount;
    Statement update(db,
                     "UPDATE machines SET fuel = ?1, report_count = ?2,"
                     " kest = CASE WHEN ?3 THEN ?4 ELSE kest END,"
                     " exp = CASE WHEN ?3 THEN ?5 ELSE exp END WHERE id = ?6");
    update.BindInt(1, d.fuelAfter)
        .BindInt(2, reportNumber)
        .BindInt(3, d.acceptAmount ? 1 : 0)
        .BindReal(4, report.amount)
        .BindInt(5, report.exp)
        .BindInt(6, machineId);
    if (!update.Run()) return ReportOutcome{};
  }

  Statement insert(db,
                   "INSERT INTO reports (serial, mac, exp, mps, locate, mci_kest, mci_kest_text,"
                   " cry, cry_ok, known_machine, fuel_after, code)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
  insert.BindText(1, report.serial)
      .BindText(2, report.mac)
      .BindInt(3, report.exp)
      .BindReal(4, report.mps)
      .BindReal(5, report.locate)
      .BindReal(6, report.amount)
      .BindText(7, report.amountText)
      .BindBlob(8, report.cry)
      .BindInt(9, cryOk ? 1 : 0)
      .BindInt(10, out.knownMachine ? 1 : 0)
      .BindInt(11, out.fuel)
      .BindInt(12, out.code);
  if (!insert.Run()) return ReportOutcome{};
  out.stored = true;
  return out;
}

bool SqliteStore::RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) {
  knownMachine = false;
  bool known = false;
  const bool stored =
      writer_->Run([&](SqliteDb& db) { return WritePowerNotice(db, notice, known); });
  knownMachine = stored && known;
  return stored;
}

bool SqliteStore::WritePowerNotice(SqliteDb& db, const PowerNotice& notice, bool& knownMachine) {
  knownMachine = false;
  {
    Statement find(db, "SELECT 1 FROM machines WHERE serial = ?1");
    find.BindText(1, notice.serial);
    knownMachine = find.Step();
    if (find.Failed()) return false;
  }
  Statement insert(db,
                   "INSERT INTO power_notices (serial, mac, on_off, known_machine)"
                   " VALUES (?1, ?2, ?3, ?4)");
  insert.BindText(1, notice.serial)
      .BindText(2, notice.mac)
      .BindInt(3, notice.onOff)
      .BindInt(4, knownMachine ? 1 : 0);
  return insert.Run();
}
