#include "exchange/machine_info.h"

#include <cstring>

#include "core/checked_math.h"
#include "profile/profile.h"

namespace {

class ReplyReader {
 public:
  explicit ReplyReader(const char* path) : path_(path) {}

  template <std::size_t N>
  void Text(const char* section, const char* key, char (&field)[N]) {
    ReadProfileString(section, key, "", field, N < 256 ? N : 256, path_);
  }
  int32_t Int(const char* section, const char* key) {
    Scratch(section, key);
    return ReadInt32(scratch_);
  }
  double Real(const char* section, const char* key) {
    Scratch(section, key);
    return ReadDouble(scratch_);
  }

 private:
  void Scratch(const char* section, const char* key) {
    ReadProfileString(section, key, "", scratch_, sizeof scratch_, path_);
  }
  const char* path_;
  char scratch_[256] = {};
};

template <std::size_t N>
void CopyField(char (&to)[N], const char (&from)[N]) {
  std::memcpy(to, from, N);
}

}  // namespace

MachineInfoReply ReadMachineInfoReply(const char* replyPath) {
  MachineInfoReply s;
  ReplyReader r(replyPath);
  r.Text("Version", "Server", s.serverVersion);
  s.hasRecord = r.Int("Return", "Count") != 0;
  if (!s.hasRecord) return s;

  s.priceBtc = r.Real("Coin", "BTC");
  s.priceEth = r.Real("Coin", "ETH");
  s.priceBnb = r.Real("Coin", "BNB");
  s.priceKest = r.Real("Coin", "KEST");

  r.Text("Machine", "Name", s.machineName);
  s.sector = r.Int("Machine", "Sector");
  s.location = r.Real("Machine", "Location");
  s.level = r.Int("Machine", "Level");
  s.exp = r.Int("Machine", "EXP");
  s.fuel = r.Int("Machine", "Fuel");
  s.autoCharge = r.Int("Machine", "AutoCharge");
  s.targetCoin = r.Int("Machine", "TargetCoin");
  s.machineKest = r.Real("Machine", "KEST");
  s.machineBtc = r.Real("Machine", "BTC");
  s.machineEth = r.Real("Machine", "ETH");
  s.machineBnb = r.Real("Machine", "BNB");
  s.onOff = r.Int("Machine", "OnOff");

  r.Text("MARS", "Name", s.marsName);
  s.activeUsers = r.Int("MARS", "Active_User");
  s.activeMachines = r.Int("MARS", "Active_Machine");
  s.totalKestMining = r.Real("MARS", "Total_Kest_Mining");
  s.mkph = r.Real("MARS", "MKPH");
  s.mkps = r.Real("MARS", "MKPS");
  s.buriedKest = r.Real("MARS", "B_KEST");
  s.buriedBtc = r.Real("MARS", "B_BTC");
  s.buriedEth = r.Real("MARS", "B_ETH");
  s.buriedBnb = r.Real("MARS", "B_BNB");
  r.Text("MARS", "KEST_ADDR", s.marsAddress[kCoinKest]);
  r.Text("MARS", "BTC_ADDR", s.marsAddress[kCoinBtc]);
  r.Text("MARS", "ETH_ADDR", s.marsAddress[kCoinEth]);
  r.Text("MARS", "BNB_ADDR", s.marsAddress[kCoinBnb]);

  r.Text("USER", "KEST_ADDR", s.userAddress[kCoinKest]);
  r.Text("USER", "BTC_ADDR", s.userAddress[kCoinBtc]);
  r.Text("USER", "ETH_ADDR", s.userAddress[kCoinEth]);
  r.Text("USER", "BNB_ADDR", s.userAddress[kCoinBnb]);
  s.balanceKest = r.Real("USER", "KEST_BALANCE");
  s.balanceBtc = r.Real("USER", "BTC_BALANCE");
  s.balanceEth = r.Real("USER", "ETH_BALANCE");
  s.balanceBnb = r.Real("USER", "BNB_BALANCE");
  return s;
}

void ApplyMachineInfoReply(MachineState& s, const MachineInfoReply& r) {
  CopyField(s.serverVersion, r.serverVersion);
  if (!r.hasRecord) return;

  s.priceBtc = r.priceBtc;
  s.priceEth = r.priceEth;
  s.priceBnb = r.priceBnb;
  s.priceKest = r.priceKest;

  CopyField(s.machineName, r.machineName);
  s.sector = r.sector;
  s.location = r.location;
  s.level = r.level;
  s.exp = r.exp;
  s.fuel = r.fuel;
  s.autoCharge = r.autoCharge;
  s.targetCoin = r.targetCoin;
  s.machineKest = r.machineKest;
  s.machineBtc = r.machineBtc;
  s.machineEth = r.machineEth;
  s.machineBnb = r.machineBnb;
  s.onOff = r.onOff;

  CopyField(s.marsName, r.marsName);
  s.activeUsers = r.activeUsers;
  s.activeMachines = r.activeMachines;
  s.totalKestMining = r.totalKestMining;
  s.mkph = r.mkph;
  s.mkps = r.mkps;
  s.buriedKest = r.buriedKest;
  s.buriedBtc = r.buriedBtc;
  s.buriedEth = r.buriedEth;
  s.buriedBnb = r.buriedBnb;
  for (int coin = 0; coin < 4; ++coin) {
    CopyField(s.marsAddress[coin], r.marsAddress[coin]);
    CopyField(s.userAddress[coin], r.userAddress[coin]);
  }
  s.balanceKest = r.balanceKest;
  s.balanceBtc = r.balanceBtc;
  s.balanceEth = r.balanceEth;
  s.balanceBnb = r.balanceBnb;
}

void ParseMachineInfo(MachineState& state, const char* replyPath) {
  ApplyMachineInfoReply(state, ReadMachineInfoReply(replyPath));
}
