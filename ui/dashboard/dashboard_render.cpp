#include "ui/dashboard/dashboard_render.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "core/checked_math.h"
#include "core/control_ids.h"
#include "core/fixed_text.h"

namespace {

// Code page 949 bytes of the degree sign.
constexpr char kDegreeFormat[] = "%lf \xA1\xC6";

// Fills the view's fields in order. A stored text is copied whole; a number is formatted
// through a 32-byte buffer, so a longer one is shown cut short, never written past it.
class FieldWriter {
 public:
  explicit FieldWriter(DashboardView& view) : view_(view) {}

  void Copy(int controlId, std::string_view text) { CopyText(Next(controlId).text, text); }

  [[gnu::format(printf, 3, 4)]] void Format(int controlId, const char* format, ...) {
    DashboardField& field = Next(controlId);
    va_list args;
    va_start(args, format);
    std::vsnprintf(field.text, kDashboardNumberTextSize, format, args);
    va_end(args);
  }

  int Count() const { return next_; }

 private:
  DashboardField& Next(int controlId) {
    assert(next_ < kDashboardTextFields);
    DashboardField& field = view_.fields[next_++];
    field.controlId = controlId;
    return field;
  }

  DashboardView& view_;
  int next_ = 0;
};

}  // namespace

void RenderDashboard(const MachineState& s, DashboardView& view) {
  FieldWriter w(view);
  w.Copy(kIdSerialNo, TextOf(s.serialNo));
  w.Copy(kIdMacText, TextOf(s.macText));
  w.Copy(kIdMachineName, TextOf(s.machineName));
  w.Copy(kIdClientVersion, TextOf(s.clientVersion));
  w.Copy(kIdServerVersion, TextOf(s.serverVersion));
  w.Copy(kIdMarsSector, TextOf(s.marsName));
  w.Format(kIdActiveUsers, "%d", s.activeUsers);
  w.Format(kIdActiveMachines, "%d", s.activeMachines);
  w.Format(kIdTotalKestMining, "%lf KEST", s.totalKestMining);
  w.Format(kIdMkph, "%lf KEST", s.mkph);
  w.Format(kIdMkps, "%lf KEST", s.mkps);
  w.Format(kIdBuriedKest, "%lf KEST", s.buriedKest);
  w.Format(kIdBuriedBtc, "%lf BTC", s.buriedBtc);
  w.Format(kIdBuriedEth, "%lf ETH", s.buriedEth);
  w.Format(kIdBuriedBnb, "%lf BNB", s.buriedBnb);
  w.Copy(kIdMarsKestAddr, TextOf(s.marsAddress[kCoinKest]));
  w.Copy(kIdMarsBtcAddr, TextOf(s.marsAddress[kCoinBtc]));
  w.Copy(kIdMarsEthAddr, TextOf(s.marsAddress[kCoinEth]));
  w.Copy(kIdMarsBnbAddr, TextOf(s.marsAddress[kCoinBnb]));
  w.Format(kIdLocation, kDegreeFormat, s.location);
  // level x 100 wraps like the 32-bit product it always was, instead of overflowing.
  w.Format(kIdFuel, "%d / %d gas", s.fuel, WrapMul(s.level, 100));
  w.Format(kIdMiningPerSec, "%lf KEST", s.miningPerSec);
  w.Format(kIdMoveSpeed, "%lf km/h", s.moveSpeed);
  w.Format(kIdLevel, "%d", s.level);
  w.Format(kIdExp, "%d", s.exp);
  assert(w.Count() == kDashboardFieldsBeforeRadio);

  // A position outside 0..4 clears the whole group; the check box takes the value as is.
  view.targetCoinPosition = s.targetCoin;
  view.autoChargeCheck = s.autoCharge;

  w.Format(kIdMachineKestUsd, "= $ %lf", s.priceKest * s.machineKest);
  w.Format(kIdMachineKest, "%lf", s.machineKest);
  w.Format(kIdMachineBtcUsd, "= $ %lf", s.machineBtc * s.priceBtc);
  w.Format(kIdMachineBtc, "%lf", s.machineBtc);
  w.Format(kIdMachineEthUsd, "= $ %lf", s.priceEth * s.machineEth);
  w.Format(kIdMachineEth, "%lf", s.machineEth);
  w.Format(kIdMachineBnbUsd, "= $ %lf", s.priceBnb * s.machineBnb);
  w.Format(kIdMachineBnb, "%lf", s.machineBnb);
  w.Copy(kIdUserKestAddr, TextOf(s.userAddress[kCoinKest]));
  w.Copy(kIdUserBtcAddr, TextOf(s.userAddress[kCoinBtc]));
  w.Copy(kIdUserEthAddr, TextOf(s.userAddress[kCoinEth]));
  w.Copy(kIdUserBnbAddr, TextOf(s.userAddress[kCoinBnb]));
  w.Format(kIdBalanceKest, "%lf", s.balanceKest);
  w.Format(kIdBalanceKestUsd, "= $ %lf", s.priceKest * s.balanceKest);
  w.Format(kIdBalanceBtc, "%lf", s.balanceBtc);
  w.Format(kIdBalanceBtcUsd, "= $ %lf", s.balanceBtc * s.priceBtc);
  w.Format(kIdBalanceEth, "%lf", s.balanceEth);
  w.Format(kIdBalanceEthUsd, "= $ %lf", s.priceEth * s.balanceEth);
  w.Format(kIdBalanceBnb, "%lf", s.balanceBnb);
  w.Format(kIdBalanceBnbUsd, "= $ %lf", s.priceBnb * s.balanceBnb);
  assert(w.Count() == kDashboardTextFields);

  CopyText(view.caption, s.onOff == 1 ? "STOP" : "START");
}
