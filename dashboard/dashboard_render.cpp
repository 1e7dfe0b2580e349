#include "dashboard/dashboard_render.h"

#include <cassert>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

#include "core/checked_math.h"
#include "core/control_ids.h"
#include "core/fixed_text.h"

namespace {

// Code page 949 bytes of the degree sign, after a blank.
constexpr std::string_view kDegreeSuffix = " \xA1\xC6";

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

  // "<prefix>%lf<suffix>". Fixed-precision to_chars is defined as printf's conversion
  // in the "C" locale and is several times faster; a refresh formats thirty of these
  // after every mining step. A text that would not fit goes through printf, which cuts it.
  void Fixed(int controlId, std::string_view prefix, double value, std::string_view suffix) {
    char* const text = Next(controlId).text;
    char* const end = text + kDashboardNumberTextSize - 1;  // the NUL's place
    std::memcpy(text, prefix.data(), prefix.size());
    const auto [last, ec] = std::to_chars(text + prefix.size(), end, value, std::chars_format::fixed, 6);
    if (ec == std::errc() && static_cast<std::size_t>(end - last) >= suffix.size()) {
      std::memcpy(last, suffix.data(), suffix.size());
      last[suffix.size()] = '\0';
      return;
    }
    std::snprintf(text, kDashboardNumberTextSize, "%.*s%lf%.*s", static_cast<int>(prefix.size()),
                  prefix.data(), value, static_cast<int>(suffix.size()), suffix.data());
  }

  // "%d"; eleven bytes at most, so it always fits.
  void Int(int controlId, int value) {
    char* const text = Next(controlId).text;
    const auto [last, ec] = std::to_chars(text, text + kDashboardNumberTextSize - 1, value);
    *last = '\0';
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
  w.Int(kIdActiveUsers, s.activeUsers);
  w.Int(kIdActiveMachines, s.activeMachines);
  w.Fixed(kIdTotalKestMining, "", s.totalKestMining, " KEST");
  w.Fixed(kIdMkph, "", s.mkph, " KEST");
  w.Fixed(kIdMkps, "", s.mkps, " KEST");
  w.Fixed(kIdBuriedKest, "", s.buriedKest, " KEST");
  w.Fixed(kIdBuriedBtc, "", s.buriedBtc, " BTC");
  w.Fixed(kIdBuriedEth, "", s.buriedEth, " ETH");
  w.Fixed(kIdBuriedBnb, "", s.buriedBnb, " BNB");
  w.Copy(kIdMarsKestAddr, TextOf(s.marsAddress[kCoinKest]));
  w.Copy(kIdMarsBtcAddr, TextOf(s.marsAddress[kCoinBtc]));
  w.Copy(kIdMarsEthAddr, TextOf(s.marsAddress[kCoinEth]));
  w.Copy(kIdMarsBnbAddr, TextOf(s.marsAddress[kCoinBnb]));
  w.Fixed(kIdLocation, "", s.location, kDegreeSuffix);
  // level x 100 wraps like the 32-bit product it always was, instead of overflowing.
  w.Format(kIdFuel, "%d / %d gas", s.fuel, WrapMul(s.level, 100));
  w.Fixed(kIdMiningPerSec, "", s.miningPerSec, " KEST");
  w.Fixed(kIdMoveSpeed, "", s.moveSpeed, " km/h");
  w.Int(kIdLevel, s.level);
  w.Int(kIdExp, s.exp);
  assert(w.Count() == kDashboardFieldsBeforeRadio);

  // A position outside 0..4 clears the whole group; the check box takes the value as is.
  view.targetCoinPosition = s.targetCoin;
  view.autoChargeCheck = s.autoCharge;

  w.Fixed(kIdMachineKestUsd, "= $ ", s.priceKest * s.machineKest, "");
  w.Fixed(kIdMachineKest, "", s.machineKest, "");
  w.Fixed(kIdMachineBtcUsd, "= $ ", s.machineBtc * s.priceBtc, "");
  w.Fixed(kIdMachineBtc, "", s.machineBtc, "");
  w.Fixed(kIdMachineEthUsd, "= $ ", s.priceEth * s.machineEth, "");
  w.Fixed(kIdMachineEth, "", s.machineEth, "");
  w.Fixed(kIdMachineBnbUsd, "= $ ", s.priceBnb * s.machineBnb, "");
  w.Fixed(kIdMachineBnb, "", s.machineBnb, "");
  w.Copy(kIdUserKestAddr, TextOf(s.userAddress[kCoinKest]));
  w.Copy(kIdUserBtcAddr, TextOf(s.userAddress[kCoinBtc]));
  w.Copy(kIdUserEthAddr, TextOf(s.userAddress[kCoinEth]));
  w.Copy(kIdUserBnbAddr, TextOf(s.userAddress[kCoinBnb]));
  w.Fixed(kIdBalanceKest, "", s.balanceKest, "");
  w.Fixed(kIdBalanceKestUsd, "= $ ", s.priceKest * s.balanceKest, "");
  w.Fixed(kIdBalanceBtc, "", s.balanceBtc, "");
  w.Fixed(kIdBalanceBtcUsd, "= $ ", s.balanceBtc * s.priceBtc, "");
  w.Fixed(kIdBalanceEth, "", s.balanceEth, "");
  w.Fixed(kIdBalanceEthUsd, "= $ ", s.priceEth * s.balanceEth, "");
  w.Fixed(kIdBalanceBnb, "", s.balanceBnb, "");
  w.Fixed(kIdBalanceBnbUsd, "= $ ", s.priceBnb * s.balanceBnb, "");
  assert(w.Count() == kDashboardTextFields);

  CopyText(view.caption, s.onOff == 1 ? "STOP" : "START");
}
