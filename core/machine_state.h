#pragma once
// The one record of the machine, its MARS site and the user's wallet.
// Texts are fixed-capacity byte arrays of code page 949 text, always NUL-terminated.
#include <cstdint>

struct MachineState {
  // 1-4: coin prices in US dollars
  double priceBtc = 0;
  double priceEth = 0;
  double priceBnb = 0;
  double priceKest = 0;
  // 5-9: identity and versions
  char serialNo[128] = {};
  char macText[128] = {};
  char machineName[128] = {};
  char clientVersion[32] = {};
  char serverVersion[32] = {};
  // 10-24: the machine
  int32_t sector = 0;
  double location = 0;
  int32_t level = 0;
  int32_t exp = 0;
  int32_t fuel = 0;
  int32_t autoCharge = 0;
  double moveSpeed = 0;
  double miningPerSec = 0;
  int32_t targetCoin = 0;
  double machineKest = 0;
  double machineBtc = 0;
  double machineEth = 0;
  double machineBnb = 0;
  int32_t onOff = 0;
  double boost = 0;
  // 25-35: the MARS site
  char marsName[256] = {};
  int32_t activeUsers = 0;
  int32_t activeMachines = 0;
  double totalKestMining = 0;
  double mkph = 0;
  double mkps = 0;
  double buriedKest = 0;
  double buriedBtc = 0;
  double buriedEth = 0;
  double buriedBnb = 0;
  char marsAddress[4][128] = {};
  // 36-40: the user's wallet
  char userAddress[4][128] = {};
  double balanceKest = 0;
  double balanceBtc = 0;
  double balanceEth = 0;
  double balanceBnb = 0;
  // 41-44: per-second mining bookkeeping
  int32_t expGain = 0;
  double lastSecondTotal = 0;
  double currentSecondTotal = 0;
  int32_t currentSecond = 0;
};

// Coins in the order used wherever a field is one of four.
enum CoinIndex { kCoinKest = 0, kCoinBtc = 1, kCoinEth = 2, kCoinBnb = 3 };

// Empties every field from serialNo through marsAddress (the downloaded block),
// leaving the prices and everything from userAddress on as they are.
void ClearDownloadedBlock(MachineState& state);
