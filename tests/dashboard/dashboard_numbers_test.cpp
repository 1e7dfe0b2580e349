// The dashboard's numbers must read exactly as printf's "%lf" and "%d" write them, cut to
// the 32-byte buffer, whatever the value: rounding at the sixth decimal, negative zero,
// the longest numbers, infinities and NaN.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/control_ids.h"
#include "core/dashboard_view.h"
#include "core/machine_state.h"
#include "dashboard/dashboard_render.h"

namespace {

// Each number field with its format; every double source is set to the value under test
// and every price to 1, so each product is the value itself.
struct NumberField {
  int id;
  const char* format;
};

const NumberField kDoubleFields[] = {
    {kIdTotalKestMining, "%lf KEST"}, {kIdMkph, "%lf KEST"},          {kIdMkps, "%lf KEST"},
    {kIdBuriedKest, "%lf KEST"},      {kIdBuriedBtc, "%lf BTC"},      {kIdBuriedEth, "%lf ETH"},
    {kIdBuriedBnb, "%lf BNB"},        {kIdLocation, "%lf \xA1\xC6"},  {kIdMiningPerSec, "%lf KEST"},
    {kIdMoveSpeed, "%lf km/h"},       {kIdMachineKestUsd, "= $ %lf"}, {kIdMachineKest, "%lf"},
    {kIdMachineBtcUsd, "= $ %lf"},    {kIdMachineBtc, "%lf"},         {kIdMachineEthUsd, "= $ %lf"},
    {kIdMachineEth, "%lf"},           {kIdMachineBnbUsd, "= $ %lf"},  {kIdMachineBnb, "%lf"},
    {kIdBalanceKest, "%lf"},          {kIdBalanceKestUsd, "= $ %lf"}, {kIdBalanceBtc, "%lf"},
    {kIdBalanceBtcUsd, "= $ %lf"},    {kIdBalanceEth, "%lf"},         {kIdBalanceEthUsd, "= $ %lf"},
    {kIdBalanceBnb, "%lf"},           {kIdBalanceBnbUsd, "= $ %lf"},
};

MachineState WithEveryAmount(double v) {
  MachineState s;
  s.priceBtc = s.priceEth = s.priceBnb = s.priceKest = 1.0;
  s.totalKestMining = s.mkph = s.mkps = s.buriedKest = v;
  s.buriedBtc = s.buriedEth = s.buriedBnb = v;
  s.location = s.miningPerSec = s.moveSpeed = v;
  s.machineKest = s.machineBtc = s.machineEth = s.machineBnb = v;
  s.balanceKest = s.balanceBtc = s.balanceEth = s.balanceBnb = v;
  return s;
}

std::string Shown(const DashboardView& view, int id) {
  for (const DashboardField& f : view.fields) {
    if (f.controlId == id) return std::string(f.text, strnlen(f.text, sizeof f.text));
  }
  ADD_FAILURE() << "no field " << id;
  return {};
}

std::string Printf(const char* format, double v) {
  char text[kDashboardNumberTextSize];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

void ExpectAsPrintf(double v) {
  DashboardView view;
  RenderDashboard(WithEveryAmount(v), view);
  for (const NumberField& field : kDoubleFields) {
    EXPECT_EQ(Shown(view, field.id), Printf(field.format, v))
        << "control " << field.id << ", value " << std::hexfloat << v;
  }
}

TEST(DashboardNumbers, ReadAsPrintfWritesThem) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double values[] = {
      0.0,
      -0.0,
      1.0,
      -1.0,
      0.1 + 0.2,
      0.0000092,
      0.0000192,
      0.0000004999,
      0.0000005,
      0.0000015,
      0.0000025,
      -0.0000005,
      -0.0000004,  // sixth decimal
      0.9999995,
      9.9999995,
      1234567.891234,
      98765432.1,
      -0.5,
      1e15,
      123456789012345678.0,
      1e19,
      -1e19,
      1e20,
      1e25,
      1e300,  // longest fit, cut, printf's cut
      std::numeric_limits<double>::max(),
      std::numeric_limits<double>::lowest(),
      std::numeric_limits<double>::min(),
      std::numeric_limits<double>::denorm_min(),
      inf,
      -inf,
      nan,
      -nan,
  };
  for (double v : values) ExpectAsPrintf(v);
}

TEST(DashboardNumbers, ManyMagnitudesReadAsPrintfWritesThem) {
  // A fixed sequence of bit patterns spread over every exponent of interest.
  uint64_t state = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 4000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double mantissa = static_cast<double>(state >> 11) / static_cast<double>(1ull << 53);
    const int exponent = static_cast<int>((state >> 3) % 70) - 35;  // 1e-35 .. 1e34
    const double v = (state & 1 ? -1.0 : 1.0) * mantissa * std::pow(10.0, exponent);
    ExpectAsPrintf(v);
    if (HasFailure()) break;  // one value's report is enough
  }
}

TEST(DashboardNumbers, IntegersReadAsPrintfWritesThem) {
  for (int32_t v : {INT32_MIN, -1, 0, 7, 2147483647}) {
    MachineState s;
    s.activeUsers = s.activeMachines = s.level = s.exp = v;
    DashboardView view;
    RenderDashboard(s, view);
    const std::string expected = std::to_string(v);
    for (int id : {kIdActiveUsers, kIdActiveMachines, kIdLevel, kIdExp}) {
      EXPECT_EQ(Shown(view, id), expected) << "control " << id;
    }
  }
}

}  // namespace
