#include "core/machine_state.h"

#include <cstring>

void ClearDownloadedBlock(MachineState& s) {
  std::memset(s.serialNo, 0, sizeof s.serialNo);
  std::memset(s.macText, 0, sizeof s.macText);
  std::memset(s.machineName, 0, sizeof s.machineName);
  std::memset(s.clientVersion, 0, sizeof s.clientVersion);
  std::memset(s.serverVersion, 0, sizeof s.serverVersion);
  s.sector = 0;
  s.location = 0;
  s.level = 0;
  s.exp = 0;
  s.fuel = 0;
  s.autoCharge = 0;
  s.moveSpeed = 0;
  s.miningPerSec = 0;
  s.targetCoin = 0;
  s.machineKest = 0;
  s.machineBtc = 0;
  s.machineEth = 0;
  s.machineBnb = 0;
  s.onOff = 0;
  s.boost = 0;
  std::memset(s.marsName, 0, sizeof s.marsName);
  s.activeUsers = 0;
  s.activeMachines = 0;
  s.totalKestMining = 0;
  s.mkph = 0;
  s.mkps = 0;
  s.buriedKest = 0;
  s.buriedBtc = 0;
  s.buriedEth = 0;
  s.buriedBnb = 0;
  std::memset(s.marsAddress, 0, sizeof s.marsAddress);
}
