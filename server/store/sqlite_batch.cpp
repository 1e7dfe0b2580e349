#include "server/store/sqlite_batch.h"

#include <cstdint>

#include "server/store/report_rules.h"

namespace {

bool WriteReport(SqliteDb& db, StoreWrite& write) {
  const StatusReport& report = *write.report;
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
      fuelBefore = ClampToInt(find.ColumnInt(1));
      out.kest = find.ColumnReal(2);
      reportNumber = find.ColumnInt(3) + 1;
    } else if (find.Failed()) {
      return false;
    }
  }

  if (out.knownMachine) {
    const ReportDecision d = DecideReport(fuelBefore, write.cryOk, reportNumber, write.boostEvery);
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
    if (!update.Run()) return false;
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
      .BindInt(9, write.cryOk ? 1 : 0)
      .BindInt(10, out.knownMachine ? 1 : 0)
      .BindInt(11, out.fuel)
      .BindInt(12, out.code);
  if (!insert.Run()) return false;
  out.stored = true;
  write.outcome = out;
  return true;
}

bool WritePowerNotice(SqliteDb& db, StoreWrite& write) {
  const PowerNotice& notice = *write.notice;
  bool known = false;
  {
    Statement find(db, "SELECT 1 FROM machines WHERE serial = ?1");
    find.BindText(1, notice.serial);
    known = find.Step();
    if (find.Failed()) return false;
  }
  Statement insert(db,
                   "INSERT INTO power_notices (serial, mac, on_off, known_machine)"
                   " VALUES (?1, ?2, ?3, ?4)");
  insert.BindText(1, notice.serial)
      .BindText(2, notice.mac)
      .BindInt(3, notice.onOff)
      .BindInt(4, known ? 1 : 0);
  if (!insert.Run()) return false;
  write.knownMachine = known;
  return true;
}

bool WriteOne(SqliteDb& db, StoreWrite& write) {
  if (write.report) return WriteReport(db, write);
  if (write.notice) return WritePowerNotice(db, write);
  return false;
}

}  // namespace

bool SqliteBatch::Run(const std::vector<StoreWrite*>& writes, std::vector<char>& ok) {
  // IMMEDIATE: the write lock now, not at the first write half-way through the batch.
  if (!db_.Exec("BEGIN IMMEDIATE")) return false;
  for (std::size_t i = 0; i < writes.size(); ++i) {
    ok[i] = 0;
    if (!db_.Exec("SAVEPOINT one_write")) continue;
    ok[i] = WriteOne(db_, *writes[i]) ? 1 : 0;
    if (!ok[i]) db_.Exec("ROLLBACK TO one_write");
    db_.Exec("RELEASE one_write");
  }
  return true;
}

bool SqliteBatch::Commit() {
  if (db_.Exec("COMMIT")) return true;
  db_.Exec("ROLLBACK");  // a failed COMMIT may leave the transaction open
  return false;
}
