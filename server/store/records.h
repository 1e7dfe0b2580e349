#pragma once
// Plain records the store hands out and takes in. Texts are UTF-8 as kept in the database.
#include <cstdint>
#include <string>

// Numbers kept in the database are ours, but a hand-edited database must not overflow an
// answer's "%d".
inline int ClampToInt(std::int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int>(v);
}

struct CoinPrices {
  double btc = 0, eth = 0, bnb = 0, kest = 0;
};

struct MachineRecord {
  std::string name;
  int sector = 0;
  double location = 0;
  int level = 0;
  int exp = 0;
  int fuel = 0;
  int autoCharge = 0;
  int targetCoin = 0;
  double kest = 0, btc = 0, eth = 0, bnb = 0;
  int onOff = 0;
};

struct MarsRecord {
  std::string name;
  int activeUsers = 0;
  int activeMachines = 0;
  double totalKestMining = 0, mkph = 0, mkps = 0;
  double buriedKest = 0, buriedBtc = 0, buriedEth = 0, buriedBnb = 0;
  std::string kestAddr, btcAddr, ethAddr, bnbAddr;
};

struct UserRecord {
  std::string kestAddr, btcAddr, ethAddr, bnbAddr;
  double kestBalance = 0, btcBalance = 0, ethBalance = 0, bnbBalance = 0;
};

// Everything the machine-information answer carries for one known machine.
struct MachineInfo {
  CoinPrices prices;
  MachineRecord machine;
  MarsRecord mars;
  UserRecord user;
};

// One status report as it arrived (texts are the decoded query bytes).
struct StatusReport {
  std::string serial;
  std::string mac;
  int exp = 0;
  double mps = 0;
  double locate = 0;
  double amount = 0;
  std::string amountText;  // mci_kest exactly as sent; the scramble is checked against it
  std::string cry;
};

// What the service answers to a report.
struct ReportOutcome {
  bool stored = false;  // false: the database failed, nothing was recorded
  bool knownMachine = false;
  int fuel = 0;
  double kest = 0;
  int code = 0;
};

struct PowerNotice {
  std::string serial;
  std::string mac;
  int onOff = 0;
};
