#pragma once
// Control identifiers of the main dialog (template 102) that the client writes.

enum ControlId : int {
  kIdStartStop = 1000,
  kIdBuriedBtc = 1001,
  kIdBuriedEth = 1002,
  kIdSerialNo = 1003,
  kIdMacText = 1004,
  kIdMarsSector = 1006,
  kIdMachineName = 1008,
  kIdClientVersion = 1009,
  kIdServerVersion = 1010,
  kIdBuriedBnb = 1011,
  kIdBuriedKest = 1012,
  kIdLocation = 1013,
  kIdFuel = 1014,
  kIdMiningPerSec = 1015,
  kIdAutoCharge = 1017,
  kIdMoveSpeed = 1018,
  kIdMarsKestAddr = 1019,
  kIdMarsBtcAddr = 1020,
  kIdMarsEthAddr = 1021,
  kIdMarsBnbAddr = 1022,
  kIdActiveUsers = 1023,
  kIdActiveMachines = 1024,
  kIdTotalKestMining = 1025,
  kIdMkph = 1027,
  kIdMkps = 1028,
  kIdUserKestAddr = 1029,
  kIdUserBtcAddr = 1030,
  kIdUserEthAddr = 1031,
  kIdUserBnbAddr = 1032,
  kIdLevel = 1037,
  kIdExp = 1039,
  kIdBalanceKest = 1040,
  kIdTargetKest = 1041,  // first of the five target-coin radio buttons
  kIdTargetAll = 1045,   // last of them
  kIdMiningLog = 1046,
  kIdBalanceBtc = 1047,
  kIdBalanceEth = 1048,
  kIdBalanceBnb = 1049,
  kIdMachineKest = 1052,
  kIdEventLog = 1054,
  kIdMachineKestUsd = 1055,
  kIdMachineBtc = 1056,
  kIdMachineEth = 1058,
  kIdMachineBnb = 1060,
  kIdMachineBtcUsd = 1062,
  kIdMachineEthUsd = 1063,
  kIdMachineBnbUsd = 1064,
  kIdBalanceKestUsd = 1065,
  kIdBalanceBtcUsd = 1066,
  kIdBalanceEthUsd = 1067,
  kIdBalanceBnbUsd = 1068,
};

// The two log panes.
enum class LogPane { kMining, kEvent };

inline int PaneControlId(LogPane pane) { return pane == LogPane::kMining ? kIdMiningLog : kIdEventLog; }
