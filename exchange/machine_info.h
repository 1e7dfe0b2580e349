#pragma once
// The machine-information reply ("qx_sn.dat"): [Version] Server always, then, unless
// [Return] Count reads as 0, the whole record of machine, site and user.
// The file is read into a MachineInfoReply without the record's lock, so nothing that
// waits for the lock waits for the parsing; applying the reply is a plain copy.
#include <cstdint>

#include "core/machine_state.h"

struct MachineInfoReply {
  char serverVersion[32] = {};
  bool hasRecord = false;  // [Return] Count is not 0: every field below counts

  double priceBtc = 0, priceEth = 0, priceBnb = 0, priceKest = 0;
  char machineName[sizeof(MachineState::machineName)] = {};
  int32_t sector = 0;
  double location = 0;
  int32_t level = 0, exp = 0, fuel = 0, autoCharge = 0, targetCoin = 0;
  double machineKest = 0, machineBtc = 0, machineEth = 0, machineBnb = 0;
  int32_t onOff = 0;
  char marsName[sizeof(MachineState::marsName)] = {};
  int32_t activeUsers = 0, activeMachines = 0;
  double totalKestMining = 0, mkph = 0, mkps = 0;
  double buriedKest = 0, buriedBtc = 0, buriedEth = 0, buriedBnb = 0;
  char marsAddress[4][128] = {};
  char userAddress[4][128] = {};
  double balanceKest = 0, balanceBtc = 0, balanceEth = 0, balanceBnb = 0;
};

MachineInfoReply ReadMachineInfoReply(const char* replyPath);
void ApplyMachineInfoReply(MachineState& state, const MachineInfoReply& reply);

// Both at once, for a record nobody else holds.
void ParseMachineInfo(MachineState& state, const char* replyPath);
