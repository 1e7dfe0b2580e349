#include "server/store.h"

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

bool MiningStore::Open(const std::string& path, const std::string& seedSerial, std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!db_.Open(path)) {
    error = "cannot open database '" + path + "': " + db_.LastError();
    return false;
  }
  return PrepareDatabase(db_, seedSerial, seeded_, error);
}

std::optional<MachineInfo> MiningStore::LoadMachineInfo(const std::string& serial, bool& failed) {
  std::lock_guard<std::mutex> lock(mutex_);
  failed = false;
  Statement s(db_,
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
  if (!ReadPrices(db_, info.prices)) {
    failed = true;
    return std::nullopt;
  }
  return info;
}

ReportOutcome MiningStore::ApplyReport(const StatusReport& report, int boostEvery) {
  std::lock_guard<std::mutex> lock(mutex_);
  ReportOutcome out;
  Transaction tx(db_);
  if (!tx.Began()) return out;

  const bool cryOk = CryMatchesAmount(report.amountText, report.cry);
  std::int64_t machineId = 0;
  int fuelBefore = 0;
  std::int64_t reportNumber = 0;
  {
    Statement find(db_, "SELECT id, fuel, kest, report_count FROM machines WHERE serial = ?1");
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
    Statement update(db_,
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

  Statement insert(db_,
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
  if (!insert.Run() || !tx.Commit()) return ReportOutcome{};
  out.stored = true;
  return out;
}

bool MiningStore::RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) {
  std::lock_guard<std::mutex> lock(mutex_);
  knownMachine = false;
  {
    Statement find(db_, "SELECT 1 FROM machines WHERE serial = ?1");
    find.BindText(1, notice.serial);
    knownMachine = find.Step();
    if (find.Failed()) return false;
  }
  Statement insert(db_,
                   "INSERT INTO power_notices (serial, mac, on_off, known_machine)"
                   " VALUES (?1, ?2, ?3, ?4)");
  insert.BindText(1, notice.serial)
      .BindText(2, notice.mac)
      .BindInt(3, notice.onOff)
      .BindInt(4, knownMachine ? 1 : 0);
  return insert.Run();
}
