#include "server/store/pg_batch.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>

#include "server/store/report_rules.h"

namespace {

void AppendHex(std::string& out, std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
}

// A PostgreSQL array literal in text form, built element by element. Elements are quoted,
// and only ever hold hex digits or numbers, so no element needs escaping: request bytes
// travel as hex and are decoded by the server.
class ArrayLiteral {
 public:
  ArrayLiteral() : text_("{") {}
  void Hex(std::string_view bytes) {
    Open();
    AppendHex(text_, bytes);
    text_ += '"';
  }
  void Int(std::int64_t v) {
    Open();
    text_ += std::to_string(v);
    text_ += '"';
  }
  void Real(double v) {
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.17g", v);  // exact round trip of a double
    Open();
    text_ += digits;
    text_ += '"';
  }
  bool Empty() const { return count_ == 0; }
  std::string Text() const { return text_ + "}"; }

 private:
  void Open() {
    if (count_++ > 0) text_ += ',';
    text_ += '"';
  }
  std::string text_;
  std::size_t count_ = 0;
};

std::string HexOf(std::string_view bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  AppendHex(hex, bytes);
  return hex;
}

// A machine of the batch as read under its row lock, then as the batch's reports leave it.
struct Machine {
  std::int64_t id = 0;
  int fuel = 0;
  double kest = 0;
  int exp = 0;
  std::int64_t reportCount = 0;
  bool changed = false;
};

}  // namespace

bool PgBatch::WriteAll(const std::vector<StoreWrite*>& writes, const char* opening, const char* closing) {
  // The machines, locked in id order, so two services whose batches share machines wait
  // for each other in one direction only instead of deadlocking.
  std::vector<std::string> serialHex;
  serialHex.reserve(writes.size());
  ArrayLiteral lookup;
  std::unordered_map<std::string, Machine> machines;
  for (const StoreWrite* w : writes) {
    if (!w->report && !w->notice) return false;
    const std::string& serial = w->report ? w->report->serial : w->notice->serial;
    serialHex.push_back(HexOf(serial));
    if (machines.emplace(serialHex.back(), Machine{}).second) lookup.Hex(serial);
  }
  machines.clear();  // filled again below with the machines that exist
  std::vector<PgResult> read =
      db_.RunTogether({{opening, PgParams()},
                       {"SELECT encode(serial, 'hex'), id, fuel, kest, exp, report_count FROM machines"
                        " WHERE serial IN (SELECT decode(h, 'hex') FROM unnest($1::text[]) AS h)"
                        " ORDER BY id FOR UPDATE",
                        PgParams().Text(lookup.Text())}});
  if (!read[0].Ok() || !read[1].Ok()) return false;
  const PgResult& found = read[1];
  for (int r = 0; r < found.Rows(); ++r) {
    Machine& m = machines[found.Text(r, 0)];
    m.id = found.Int(r, 1);
    m.fuel = ClampToInt(found.Int(r, 2));
    m.kest = found.Real(r, 3);
    m.exp = ClampToInt(found.Int(r, 4));
    m.reportCount = found.Int(r, 5);
  }

  // The rules, report by report in arrival order: two reports of one machine in one batch
  // each burn their own unit, as if they had come in two transactions.
  ArrayLiteral rSerial, rMac, rExp, rMps, rLocate, rAmount, rAmountText, rCry, rCryOk, rKnown, rFuel, rCode;
  ArrayLiteral nSerial, nMac, nOnOff, nKnown;
  for (std::size_t i = 0; i < writes.size(); ++i) {
    StoreWrite& w = *writes[i];
    auto it = machines.find(serialHex[i]);
    Machine* m = it == machines.end() ? nullptr : &it->second;
    if (w.notice) {
      const PowerNotice& n = *w.notice;
      w.knownMachine = m != nullptr;
      nSerial.Hex(n.serial);
      nMac.Hex(n.mac);
      nOnOff.Int(n.onOff);
      nKnown.Int(m ? 1 : 0);
      continue;
    }
    const StatusReport& report = *w.report;
    ReportOutcome out;
    if (m) {
      out.knownMachine = true;
      out.kest = m->kest;
      const std::int64_t reportNumber = m->reportCount + 1;
      const ReportDecision d = DecideReport(m->fuel, w.cryOk, reportNumber, w.boostEvery);
      out.fuel = d.fuelAfter;
      out.code = d.code;
      m->fuel = d.fuelAfter;
      m->reportCount = reportNumber;
      if (d.acceptAmount) {
        out.kest = report.amount;
        m->kest = report.amount;
        m->exp = report.exp;
      }
      m->changed = true;
    }
    out.stored = true;
    w.outcome = out;
    rSerial.Hex(report.serial);
    rMac.Hex(report.mac);
    rExp.Int(report.exp);
    rMps.Real(report.mps);
    rLocate.Real(report.locate);
    rAmount.Real(report.amount);
    rAmountText.Hex(report.amountText);
    rCry.Hex(report.cry);
    rCryOk.Int(w.cryOk ? 1 : 0);
    rKnown.Int(out.knownMachine ? 1 : 0);
    rFuel.Int(out.fuel);
    rCode.Int(out.code);
  }

  ArrayLiteral mId, mFuel, mReportCount, mKest, mExp;
  for (const auto& [hex, m] : machines) {
    if (!m.changed) continue;
    mId.Int(m.id);
    mFuel.Int(m.fuel);
    mReportCount.Int(m.reportCount);
    mKest.Real(m.kest);
    mExp.Int(m.exp);
  }
  // The writes, and the closing statement, in one round trip.
  std::vector<PgStatement> statements;
  if (!mId.Empty()) {
    statements.push_back(
        {"UPDATE machines AS m SET fuel = u.fuel, report_count = u.report_count,"
         " kest = u.kest, exp = u.exp"
         " FROM unnest($1::bigint[], $2::integer[], $3::bigint[], $4::float8[],"
         " $5::integer[]) AS u(id, fuel, report_count, kest, exp) WHERE m.id = u.id",
         PgParams()
             .Text(mId.Text())
             .Text(mFuel.Text())
             .Text(mReportCount.Text())
             .Text(mKest.Text())
             .Text(mExp.Text())});
  }
  if (!rSerial.Empty()) {
    statements.push_back(
        {"INSERT INTO reports (serial, mac, exp, mps, locate, mci_kest, mci_kest_text,"
         " cry, cry_ok, known_machine, fuel_after, code)"
         " SELECT decode(r.serial, 'hex'), decode(r.mac, 'hex'), r.exp, r.mps, r.locate,"
         " r.mci_kest, decode(r.mci_kest_text, 'hex'), decode(r.cry, 'hex'), r.cry_ok,"
         " r.known_machine, r.fuel_after, r.code"
         " FROM unnest($1::text[], $2::text[], $3::integer[], $4::float8[], $5::float8[],"
         " $6::float8[], $7::text[], $8::text[], $9::integer[], $10::integer[],"
         " $11::integer[], $12::integer[]) WITH ORDINALITY AS r(serial, mac, exp, mps,"
         " locate, mci_kest, mci_kest_text, cry, cry_ok, known_machine, fuel_after, code,"
         " n) ORDER BY r.n",
         PgParams()
             .Text(rSerial.Text())
             .Text(rMac.Text())
             .Text(rExp.Text())
             .Text(rMps.Text())
             .Text(rLocate.Text())
             .Text(rAmount.Text())
             .Text(rAmountText.Text())
             .Text(rCry.Text())
             .Text(rCryOk.Text())
             .Text(rKnown.Text())
             .Text(rFuel.Text())
             .Text(rCode.Text())});
  }
  if (!nSerial.Empty()) {
    statements.push_back(
        {"INSERT INTO power_notices (serial, mac, on_off, known_machine)"
         " SELECT decode(n.serial, 'hex'), decode(n.mac, 'hex'), n.on_off, n.known_machine"
         " FROM unnest($1::text[], $2::text[], $3::integer[], $4::integer[])"
         " WITH ORDINALITY AS n(serial, mac, on_off, known_machine, i) ORDER BY n.i",
         PgParams().Text(nSerial.Text()).Text(nMac.Text()).Text(nOnOff.Text()).Text(nKnown.Text())});
  }
  if (closing) statements.push_back({closing, PgParams()});
  for (const PgResult& r : db_.RunTogether(statements)) {
    if (!r.Ok()) return false;
  }
  return true;
}

bool PgBatch::Run(const std::vector<StoreWrite*>& writes, std::vector<char>& ok) {
  // A connection lost since the last batch (the server restarted) is made again here.
  if (!db_.Reconnect()) return false;
  if (WriteAll(writes, "BEGIN", nullptr)) {
    for (char& o : ok) o = 1;
    return true;
  }
  // Something in the batch failed and took the transaction with it: once more, one write
  // at a time in a savepoint of its own.
  db_.Exec("ROLLBACK");
  if (!db_.Exec("BEGIN")) return false;
  for (std::size_t i = 0; i < writes.size(); ++i) {
    ok[i] = WriteAll({writes[i]}, "SAVEPOINT one_write", "RELEASE one_write") ? 1 : 0;
    if (!ok[i]) db_.Exec("ROLLBACK TO one_write; RELEASE one_write");
  }
  return true;
}

bool PgBatch::Commit() {
  // COMMIT of a transaction that had failed answers ROLLBACK, not an error.
  if (db_.Commit()) return true;
  db_.Exec("ROLLBACK");
  return false;
}
