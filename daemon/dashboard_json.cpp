#include "daemon/dashboard_json.h"

#include "client/recording_window.h"
#include "core/control_ids.h"
#include "daemon/utf8_text.h"
#include "platform/ansi_code_page.h"

const DashboardFieldName kDashboardFieldNames[45] = {
    {kIdSerialNo, "serialNo"},
    {kIdMacText, "macText"},
    {kIdMachineName, "machineName"},
    {kIdClientVersion, "clientVersion"},
    {kIdServerVersion, "serverVersion"},
    {kIdMarsSector, "marsSector"},
    {kIdActiveUsers, "activeUsers"},
    {kIdActiveMachines, "activeMachines"},
    {kIdTotalKestMining, "totalKestMining"},
    {kIdMkph, "mkph"},
    {kIdMkps, "mkps"},
    {kIdBuriedKest, "buriedKest"},
    {kIdBuriedBtc, "buriedBtc"},
    {kIdBuriedEth, "buriedEth"},
    {kIdBuriedBnb, "buriedBnb"},
    {kIdMarsKestAddr, "marsKestAddress"},
    {kIdMarsBtcAddr, "marsBtcAddress"},
    {kIdMarsEthAddr, "marsEthAddress"},
    {kIdMarsBnbAddr, "marsBnbAddress"},
    {kIdLocation, "location"},
    {kIdFuel, "fuel"},
    {kIdMiningPerSec, "miningPerSec"},
    {kIdMoveSpeed, "moveSpeed"},
    {kIdLevel, "level"},
    {kIdExp, "exp"},
    {kIdMachineKestUsd, "machineKestUsd"},
    {kIdMachineKest, "machineKest"},
    {kIdMachineBtcUsd, "machineBtcUsd"},
    {kIdMachineBtc, "machineBtc"},
    {kIdMachineEthUsd, "machineEthUsd"},
    {kIdMachineEth, "machineEth"},
    {kIdMachineBnbUsd, "machineBnbUsd"},
    {kIdMachineBnb, "machineBnb"},
    {kIdUserKestAddr, "userKestAddress"},
    {kIdUserBtcAddr, "userBtcAddress"},
    {kIdUserEthAddr, "userEthAddress"},
    {kIdUserBnbAddr, "userBnbAddress"},
    {kIdBalanceKest, "balanceKest"},
    {kIdBalanceKestUsd, "balanceKestUsd"},
    {kIdBalanceBtc, "balanceBtc"},
    {kIdBalanceBtcUsd, "balanceBtcUsd"},
    {kIdBalanceEth, "balanceEth"},
    {kIdBalanceEthUsd, "balanceEthUsd"},
    {kIdBalanceBnb, "balanceBnb"},
    {kIdBalanceBnbUsd, "balanceBnbUsd"},
};

namespace {
const char* const kTargetNames[5] = {"KEST", "BTC", "ETH", "BNB", "ALL"};

std::string Text(const RecordingWindow::Shown& window, int id) {
  return JsonString(AnsiToUtf8(window.Text(id)));
}
}  // namespace

std::string DashboardJson(const RecordingWindow::Shown& window) {
  std::string json = "{\"fields\":[";
  for (int i = 0; i < 45; ++i) {
    const DashboardFieldName& field = kDashboardFieldNames[i];
    if (i > 0) json += ',';
    json += "{\"id\":" + std::to_string(field.controlId) + ",\"name\":" + JsonString(field.name) +
            ",\"text\":" + Text(window, field.controlId) + "}";
  }
  json += "],\"caption\":" + Text(window, kIdStartStop);
  json += R"(,"autoCharge":{"id":)" + std::to_string(kIdAutoCharge) +
          ",\"check\":" + std::to_string(window.Check(kIdAutoCharge)) + "}";
  json += ",\"targetCoin\":[";
  for (int i = 0; i < 5; ++i) {
    if (i > 0) json += ',';
    const int id = kIdTargetKest + i;
    json += "{\"id\":" + std::to_string(id) + ",\"name\":" + JsonString(kTargetNames[i]) +
            ",\"checked\":" + (window.Check(id) != 0 ? "true" : "false") + "}";
  }
  json += R"(],"panes":{"mining":{"id":)" + std::to_string(kIdMiningLog) +
          ",\"text\":" + JsonString(AnsiToUtf8(window.miningPane)) + "}";
  json += R"(,"event":{"id":)" + std::to_string(kIdEventLog) +
          ",\"text\":" + JsonString(AnsiToUtf8(window.eventPane)) + "}}}\n";
  return json;
}
