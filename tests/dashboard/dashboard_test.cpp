#include "dashboard/dashboard_render.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "client/recording_window.h"
#include "core/control_ids.h"
#include "core/fixed_text.h"
#include "support/allocation_counter.h"

namespace {

struct Row {
  int id;
  std::string text;
};

const int kRadioIds[] = {kIdTargetKest, 1042, 1043, 1044, kIdTargetAll};

class DashboardTest : public ::testing::Test {
 protected:
  void Show() {
    // Garbage without terminators first, so a field left unterminated would show.
    for (DashboardField& field : view_.fields) {
      field.controlId = 0;
      std::memset(field.text, 'x', sizeof field.text);
    }
    std::memset(view_.caption, 'x', sizeof view_.caption);
    view_.targetCoinPosition = -99;
    view_.autoChargeCheck = -99;
    RenderDashboard(s_, view_);
    window_.ShowDashboard(view_);
  }

  void ExpectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      EXPECT_TRUE(window_.HasText(row.id)) << row.id;
      EXPECT_EQ(window_.Text(row.id), row.text) << "control " << row.id;
    }
  }

  MachineState s_;
  DashboardView view_;
  RecordingWindow window_;
};

// Rows 1-25 and 28-47 of a record with every field set, in their order.
MachineState FilledRecord() {
  MachineState s;
  CopyText(s.serialNo, "SN-0001");
  CopyText(s.macText, "00-1A-2B-3C-4D-5E");
  CopyText(s.machineName, "Excavator of the Northern Ridge, unit 7");  // 39 bytes
  CopyText(s.clientVersion, "0.216");
  CopyText(s.serverVersion, "0.217");
  CopyText(s.marsName, "\xC8\xAD\xBC\xBA 7");
  s.activeUsers = 12;
  s.activeMachines = 3;
  s.totalKestMining = 1234.5;
  s.mkph = 0.25;
  s.mkps = 1e20;  // "%lf KEST" is 33 bytes
  s.buriedKest = -0.5;
  s.buriedBtc = 21000000;
  s.buriedEth = 0.000001;
  s.buriedBnb = 7.25;
  CopyText(s.marsAddress[kCoinKest], "MARS-KEST");
  CopyText(s.marsAddress[kCoinBtc], "0123456789012345678901234567890");   // 31 bytes
  CopyText(s.marsAddress[kCoinEth], "01234567890123456789012345678901");  // 32 bytes: still whole
  CopyText(s.marsAddress[kCoinBnb], std::string(127, 'B'));
  s.location = 37.5665;
  s.fuel = 480;
  s.level = 5;
  s.miningPerSec = 0.0000192;
  s.moveSpeed = 12.5;
  s.exp = 123456;
  s.targetCoin = 2;
  s.autoCharge = 1;
  s.priceKest = 2;
  s.priceBtc = 30000;
  s.priceEth = 1500;
  s.priceBnb = 250;
  s.machineKest = 10.5;
  s.machineBtc = 0.01;
  s.machineEth = 0.3;
  s.machineBnb = 4;
  CopyText(s.userAddress[kCoinKest], "U-KEST");
  CopyText(s.userAddress[kCoinBtc], "U-BTC");
  CopyText(s.userAddress[kCoinEth], "U-ETH");
  CopyText(s.userAddress[kCoinBnb], "U-BNB");
  s.balanceKest = 100;
  s.balanceBtc = 0.5;
  s.balanceEth = 2;
  s.balanceBnb = -1;
  s.onOff = 1;
  return s;
}

}  // namespace

TEST_F(DashboardTest, ZeroedRecordShowsZerosAndEmptyTexts) {
  Show();
  ExpectRows({
      {kIdSerialNo, ""},
      {kIdMacText, ""},
      {kIdMachineName, ""},
      {kIdClientVersion, ""},
      {kIdServerVersion, ""},
      {kIdMarsSector, ""},
      {kIdActiveUsers, "0"},
      {kIdActiveMachines, "0"},
      {kIdTotalKestMining, "0.000000 KEST"},
      {kIdMkph, "0.000000 KEST"},
      {kIdMkps, "0.000000 KEST"},
      {kIdBuriedKest, "0.000000 KEST"},
      {kIdBuriedBtc, "0.000000 BTC"},
      {kIdBuriedEth, "0.000000 ETH"},
      {kIdBuriedBnb, "0.000000 BNB"},
      {kIdMarsKestAddr, ""},
      {kIdMarsBtcAddr, ""},
      {kIdMarsEthAddr, ""},
      {kIdMarsBnbAddr, ""},
      {kIdLocation, "0.000000 \xA1\xC6"},
      {kIdFuel, "0 / 0 gas"},
      {kIdMiningPerSec, "0.000000 KEST"},
      {kIdMoveSpeed, "0.000000 km/h"},
      {kIdLevel, "0"},
      {kIdExp, "0"},
      {kIdMachineKestUsd, "= $ 0.000000"},
      {kIdMachineKest, "0.000000"},
      {kIdMachineBtcUsd, "= $ 0.000000"},
      {kIdMachineBtc, "0.000000"},
      {kIdMachineEthUsd, "= $ 0.000000"},
      {kIdMachineEth, "0.000000"},
      {kIdMachineBnbUsd, "= $ 0.000000"},
      {kIdMachineBnb, "0.000000"},
      {kIdUserKestAddr, ""},
      {kIdUserBtcAddr, ""},
      {kIdUserEthAddr, ""},
      {kIdUserBnbAddr, ""},
      {kIdBalanceKest, "0.000000"},
      {kIdBalanceKestUsd, "= $ 0.000000"},
      {kIdBalanceBtc, "0.000000"},
      {kIdBalanceBtcUsd, "= $ 0.000000"},
      {kIdBalanceEth, "0.000000"},
      {kIdBalanceEthUsd, "= $ 0.000000"},
      {kIdBalanceBnb, "0.000000"},
      {kIdBalanceBnbUsd, "= $ 0.000000"},
      {kIdStartStop, "START"},
  });
  EXPECT_EQ(window_.CheckedRadio(), kIdTargetKest);
  EXPECT_EQ(window_.Check(kIdAutoCharge), 0);
  EXPECT_TRUE(window_.HasText(kIdAutoCharge) == false);
}

TEST_F(DashboardTest, FilledRecordShowsEveryRowInItsFormat) {
  s_ = FilledRecord();
  Show();
  ExpectRows({
      {kIdSerialNo, "SN-0001"},
      {kIdMacText, "00-1A-2B-3C-4D-5E"},
      {kIdMachineName, "Excavator of the Northern Ridge, unit 7"},  // texts are shown whole
      {kIdClientVersion, "0.216"},
      {kIdServerVersion, "0.217"},
      {kIdMarsSector, "\xC8\xAD\xBC\xBA 7"},
      {kIdActiveUsers, "12"},
      {kIdActiveMachines, "3"},
      {kIdTotalKestMining, "1234.500000 KEST"},
      {kIdMkph, "0.250000 KEST"},
      {kIdMkps, "100000000000000000000.000000 KE"},  // cut short, not written past
      {kIdBuriedKest, "-0.500000 KEST"},
      {kIdBuriedBtc, "21000000.000000 BTC"},
      {kIdBuriedEth, "0.000001 ETH"},
      {kIdBuriedBnb, "7.250000 BNB"},
      {kIdMarsKestAddr, "MARS-KEST"},
      {kIdMarsBtcAddr, "0123456789012345678901234567890"},
      {kIdMarsEthAddr, "01234567890123456789012345678901"},
      {kIdMarsBnbAddr, std::string(127, 'B')},
      {kIdLocation, "37.566500 \xA1\xC6"},
      {kIdFuel, "480 / 500 gas"},
      {kIdMiningPerSec, "0.000019 KEST"},
      {kIdMoveSpeed, "12.500000 km/h"},
      {kIdLevel, "5"},
      {kIdExp, "123456"},
      {kIdMachineKestUsd, "= $ 21.000000"},
      {kIdMachineKest, "10.500000"},
      {kIdMachineBtcUsd, "= $ 300.000000"},
      {kIdMachineBtc, "0.010000"},
      {kIdMachineEthUsd, "= $ 450.000000"},
      {kIdMachineEth, "0.300000"},
      {kIdMachineBnbUsd, "= $ 1000.000000"},
      {kIdMachineBnb, "4.000000"},
      {kIdUserKestAddr, "U-KEST"},
      {kIdUserBtcAddr, "U-BTC"},
      {kIdUserEthAddr, "U-ETH"},
      {kIdUserBnbAddr, "U-BNB"},
      {kIdBalanceKest, "100.000000"},
      {kIdBalanceKestUsd, "= $ 200.000000"},
      {kIdBalanceBtc, "0.500000"},
      {kIdBalanceBtcUsd, "= $ 15000.000000"},
      {kIdBalanceEth, "2.000000"},
      {kIdBalanceEthUsd, "= $ 3000.000000"},
      {kIdBalanceBnb, "-1.000000"},
      {kIdBalanceBnbUsd, "= $ -250.000000"},
      {kIdStartStop, "STOP"},
  });
  EXPECT_EQ(window_.CheckedRadio(), 1043);
  EXPECT_EQ(window_.Check(kIdAutoCharge), 1);
}

TEST_F(DashboardTest, OneRenderingWritesEveryControlOnceInOrder) {
  s_ = FilledRecord();
  Show();
  using Kind = RecordingWindow::OpKind;
  const std::vector<std::pair<Kind, int>> expected = {
      {Kind::kSetText, 1003}, {Kind::kSetText, 1004},    {Kind::kSetText, 1008},  {Kind::kSetText, 1009},
      {Kind::kSetText, 1010}, {Kind::kSetText, 1006},    {Kind::kSetText, 1023},  {Kind::kSetText, 1024},
      {Kind::kSetText, 1025}, {Kind::kSetText, 1027},    {Kind::kSetText, 1028},  {Kind::kSetText, 1012},
      {Kind::kSetText, 1001}, {Kind::kSetText, 1002},    {Kind::kSetText, 1011},  {Kind::kSetText, 1019},
      {Kind::kSetText, 1020}, {Kind::kSetText, 1021},    {Kind::kSetText, 1022},  {Kind::kSetText, 1013},
      {Kind::kSetText, 1014}, {Kind::kSetText, 1015},    {Kind::kSetText, 1018},  {Kind::kSetText, 1037},
      {Kind::kSetText, 1039}, {Kind::kCheckRadio, 1041}, {Kind::kSetCheck, 1017}, {Kind::kSetText, 1055},
      {Kind::kSetText, 1052}, {Kind::kSetText, 1062},    {Kind::kSetText, 1056},  {Kind::kSetText, 1063},
      {Kind::kSetText, 1058}, {Kind::kSetText, 1064},    {Kind::kSetText, 1060},  {Kind::kSetText, 1029},
      {Kind::kSetText, 1030}, {Kind::kSetText, 1031},    {Kind::kSetText, 1032},  {Kind::kSetText, 1040},
      {Kind::kSetText, 1065}, {Kind::kSetText, 1047},    {Kind::kSetText, 1066},  {Kind::kSetText, 1048},
      {Kind::kSetText, 1067}, {Kind::kSetText, 1049},    {Kind::kSetText, 1068},  {Kind::kSetText, 1000},
  };
  const auto operations = window_.Operations();
  ASSERT_EQ(operations.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(operations[i].kind, expected[i].first) << "operation " << i;
    EXPECT_EQ(operations[i].controlId, expected[i].second) << "operation " << i;
  }
  EXPECT_EQ(operations[25].value, 2);  // the radio position
  EXPECT_EQ(operations[26].value, 1);  // the check state
}

TEST_F(DashboardTest, TargetCoinChecksItsButtonOrClearsAll) {
  struct Case {
    int32_t targetCoin;
    int checked;
  } cases[] = {
      {0, kIdTargetKest}, {1, 1042},     {2, 1043},     {3, 1044}, {4, kIdTargetAll}, {5, -1}, {7, -1},
      {-1, -1},           {INT_MIN, -1}, {INT_MAX, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.targetCoin);
    // Start from another button so that clearing is visible.
    window_.CheckRadio(kIdTargetKest, kIdTargetAll, 1);
    s_.targetCoin = c.targetCoin;
    Show();
    EXPECT_EQ(window_.CheckedRadio(), c.checked);
    for (int id : kRadioIds) EXPECT_EQ(window_.Check(id), id == c.checked ? 1 : 0) << id;
  }
}

TEST_F(DashboardTest, AutoChargeIsHandedToTheCheckBoxUnchanged) {
  for (int32_t value : {0, 1, 2, -1}) {
    SCOPED_TRACE(value);
    s_.autoCharge = value;
    Show();
    EXPECT_EQ(window_.Check(kIdAutoCharge), value);
  }
}

TEST_F(DashboardTest, CaptionIsStopOnlyForOnOffOne) {
  struct Case {
    int32_t onOff;
    const char* caption;
  } cases[] = {{1, "STOP"}, {0, "START"}, {2, "START"}, {-1, "START"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.onOff);
    s_.onOff = c.onOff;
    Show();
    EXPECT_EQ(window_.Text(kIdStartStop), c.caption);
  }
}

TEST_F(DashboardTest, FuelRowWrapsLevelTimesHundred) {
  struct Case {
    int32_t fuel;
    int32_t level;
    const char* text;
  } cases[] = {
      {480, 5, "480 / 500 gas"},
      {-7, -2, "-7 / -200 gas"},
      {0, 30000000, "0 / -1294967296 gas"},  // 3e9 wraps modulo 2^32
      {INT_MIN, INT_MIN, "-2147483648 / 0 gas"},
      {INT_MAX, INT_MAX, "2147483647 / -100 gas"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    s_.fuel = c.fuel;
    s_.level = c.level;
    Show();
    EXPECT_EQ(window_.Text(kIdFuel), c.text);
  }
}

TEST_F(DashboardTest, LongestNumbersAreCutShortInsideTheField) {
  const double max = std::numeric_limits<double>::max();
  s_.totalKestMining = -max;
  s_.location = max;
  s_.priceKest = max;
  s_.balanceKest = max;  // the product is infinite
  s_.balanceBtc = -max;
  Show();
  EXPECT_EQ(window_.Text(kIdTotalKestMining), "-179769313486231570814527423731");
  EXPECT_EQ(window_.Text(kIdLocation), "1797693134862315708145274237317");
  EXPECT_EQ(window_.Text(kIdBalanceKestUsd), "= $ inf");
  EXPECT_EQ(window_.Text(kIdBalanceBtc), "-179769313486231570814527423731");
  for (const DashboardField& field : view_.fields) {
    EXPECT_LT(std::strlen(field.text), static_cast<size_t>(kDashboardNumberTextSize)) << field.controlId;
  }
}

TEST_F(DashboardTest, RenderingAllocatesNothing) {
  s_ = FilledRecord();
  std::size_t allocations = 0;
  {
    AllocationScope scope;
    for (int i = 0; i < 100; ++i) {
      s_.machineKest += 0.001;
      RenderDashboard(s_, view_);
    }
    allocations = scope.Allocations();
  }
  EXPECT_EQ(allocations, 0u);
  EXPECT_STREQ(view_.fields[kDashboardFieldsBeforeRadio + 1].text, "10.600000");
}
