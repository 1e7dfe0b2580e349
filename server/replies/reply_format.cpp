#include "server/replies/reply_format.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "platform/ansi_code_page.h"

namespace {

// Builds an INI body line by line.
class IniWriter {
 public:
  void Section(std::string_view name) {
    body_ += '[';
    body_ += name;
    body_ += "]\r\n";
  }
  // A stored text must not break the layout: line breaks and NULs become blanks.
  void Text(std::string_view key, std::string_view value) {
    body_ += key;
    body_ += '=';
    for (char c : value) body_ += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
    body_ += "\r\n";
  }
  // Texts from the database are UTF-8; the client expects its ANSI code page.
  void Ansi(std::string_view key, std::string_view utf8) { Text(key, Utf8ToAnsi(utf8)); }
  void Int(std::string_view key, int value) { Text(key, std::to_string(value)); }
  void Real(std::string_view key, double value) {
    // "%lf" of the largest double is about 317 characters.
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%lf", value);
    Text(key, buffer);
  }
  std::string Take() { return std::move(body_); }

 private:
  std::string body_;
};

void Version(IniWriter& w, const std::string& offeredVersion) {
  w.Section("Version");
  w.Text("Server", offeredVersion);
}

}  // namespace

std::string FormatMachineInfo(const MachineInfo& info, const std::string& offeredVersion) {
  IniWriter w;
  Version(w, offeredVersion);
  w.Section("Return");
  w.Int("Count", 1);

  w.Section("Coin");
  w.Real("BTC", info.prices.btc);
  w.Real("ETH", info.prices.eth);
  w.Real("BNB", info.prices.bnb);
  w.Real("KEST", info.prices.kest);

  const MachineRecord& m = info.machine;
  w.Section("Machine");
  w.Ansi("Name", m.name);
  w.Int("Sector", m.sector);
  w.Real("Location", m.location);
  w.Int("Level", m.level);
  w.Int("EXP", m.exp);
  w.Int("Fuel", m.fuel);
  w.Int("AutoCharge", m.autoCharge);
  w.Int("TargetCoin", m.targetCoin);
  w.Real("KEST", m.kest);
  w.Real("BTC", m.btc);
  w.Real("ETH", m.eth);
  w.Real("BNB", m.bnb);
  w.Int("OnOff", m.onOff);

  const MarsRecord& s = info.mars;
  w.Section("MARS");
  w.Ansi("Name", s.name);
  w.Int("Active_User", s.activeUsers);
  w.Int("Active_Machine", s.activeMachines);
  w.Real("Total_Kest_Mining", s.totalKestMining);
  w.Real("MKPH", s.mkph);
  w.Real("MKPS", s.mkps);
  w.Real("B_KEST", s.buriedKest);
  w.Real("B_BTC", s.buriedBtc);
  w.Real("B_ETH", s.buriedEth);
  w.Real("B_BNB", s.buriedBnb);
  w.Ansi("KEST_ADDR", s.kestAddr);
  w.Ansi("BTC_ADDR", s.btcAddr);
  w.Ansi("ETH_ADDR", s.ethAddr);
  w.Ansi("BNB_ADDR", s.bnbAddr);

  const UserRecord& u = info.user;
  w.Section("USER");
  w.Ansi("KEST_ADDR", u.kestAddr);
  w.Ansi("BTC_ADDR", u.btcAddr);
  w.Ansi("ETH_ADDR", u.ethAddr);
  w.Ansi("BNB_ADDR", u.bnbAddr);
  w.Real("KEST_BALANCE", u.kestBalance);
  w.Real("BTC_BALANCE", u.btcBalance);
  w.Real("ETH_BALANCE", u.ethBalance);
  w.Real("BNB_BALANCE", u.bnbBalance);
  return w.Take();
}

std::string FormatUnknownMachine(const std::string& offeredVersion) {
  IniWriter w;
  Version(w, offeredVersion);
  w.Section("Return");
  w.Int("Count", 0);
  return w.Take();
}

std::string FormatStatusReply(const ReportOutcome& outcome, const std::string& offeredVersion) {
  IniWriter w;
  w.Section("Machine");
  w.Int("Fuel", outcome.fuel);
  w.Real("KEST", outcome.kest);
  w.Int("Code", outcome.code);
  Version(w, offeredVersion);
  return w.Take();
}

std::string FormatPowerReply(bool knownMachine) {
  IniWriter w;
  w.Section("Return");
  w.Int("Result", knownMachine ? 1 : 0);
  return w.Take();
}
