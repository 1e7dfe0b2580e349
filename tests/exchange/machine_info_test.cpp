#include "exchange/machine_info.h"

#include <gtest/gtest.h>

#include <string>

#include "core/machine_state.h"
#include "support/sandbox.h"

namespace {

// A complete reply of the service, with a placeholder for the count and one line that a
// case may replace.
std::string FullReply(const std::string& count, const std::string& levelLine = "Level=3") {
  return "[Version]\r\nServer=0.217\r\n[Return]\r\nCount=" + count +
         "\r\n[Coin]\r\nBTC=43000.5\r\nETH=2300.25\r\nBNB=310\r\nKEST=0.05\r\n"
         "[Machine]\r\nName=Digger \xB1\xE8\r\nSector=12\r\nLocation=-4.5\r\n" +
         levelLine +
         "\r\nEXP=500\r\nFuel=250\r\nAutoCharge=1\r\nTargetCoin=7\r\nKEST=25\r\nBTC=0.001\r\n"
         "ETH=0.02\r\nBNB=0.3\r\nOnOff=1\r\n"
         "[MARS]\r\nName=Diacria quadrangle\r\nActive_User=40\r\nActive_Machine=3\r\n"
         "Total_Kest_Mining=1000.5\r\nMKPH=12.5\r\nMKPS=0.25\r\nB_KEST=90000\r\nB_BTC=1.5\r\n"
         "B_ETH=2.5\r\nB_BNB=3.5\r\nKEST_ADDR=mk\r\nBTC_ADDR=mb\r\nETH_ADDR=me\r\nBNB_ADDR=mn\r\n"
         "[USER]\r\nKEST_ADDR=uk\r\nBTC_ADDR=ub\r\nETH_ADDR=ue\r\nBNB_ADDR=un\r\n"
         "KEST_BALANCE=10\r\nBTC_BALANCE=0.5\r\nETH_BALANCE=1.5\r\nBNB_BALANCE=2.5\r\n";
}

MachineState Parse(const std::string& body) {
  Sandbox box;
  WriteFileBytes(box.File("qx_sn.dat"), body);
  MachineState s;
  ParseMachineInfo(s, box.File("qx_sn.dat").c_str());
  return s;
}

}  // namespace

TEST(ParseMachineInfo, ReadsEveryKeyIntoItsField) {
  const MachineState s = Parse(FullReply("1"));
  EXPECT_STREQ(s.serverVersion, "0.217");
  EXPECT_DOUBLE_EQ(s.priceBtc, 43000.5);
  EXPECT_DOUBLE_EQ(s.priceEth, 2300.25);
  EXPECT_DOUBLE_EQ(s.priceBnb, 310);
  EXPECT_DOUBLE_EQ(s.priceKest, 0.05);
  EXPECT_STREQ(s.machineName, "Digger \xB1\xE8");
  EXPECT_EQ(s.sector, 12);
  EXPECT_DOUBLE_EQ(s.location, -4.5);
  EXPECT_EQ(s.level, 3);
  EXPECT_EQ(s.exp, 500);
  EXPECT_EQ(s.fuel, 250);
  EXPECT_EQ(s.autoCharge, 1);
  EXPECT_EQ(s.targetCoin, 7);  // stored unchecked
  EXPECT_DOUBLE_EQ(s.machineKest, 25);
  EXPECT_DOUBLE_EQ(s.machineBtc, 0.001);
  EXPECT_DOUBLE_EQ(s.machineEth, 0.02);
  EXPECT_DOUBLE_EQ(s.machineBnb, 0.3);
  EXPECT_EQ(s.onOff, 1);
  EXPECT_STREQ(s.marsName, "Diacria quadrangle");
  EXPECT_EQ(s.activeUsers, 40);
  EXPECT_EQ(s.activeMachines, 3);
  EXPECT_DOUBLE_EQ(s.totalKestMining, 1000.5);
  EXPECT_DOUBLE_EQ(s.mkph, 12.5);
  EXPECT_DOUBLE_EQ(s.mkps, 0.25);
  EXPECT_DOUBLE_EQ(s.buriedKest, 90000);
  EXPECT_DOUBLE_EQ(s.buriedBtc, 1.5);
  EXPECT_DOUBLE_EQ(s.buriedEth, 2.5);
  EXPECT_DOUBLE_EQ(s.buriedBnb, 3.5);
  EXPECT_STREQ(s.marsAddress[0], "mk");
  EXPECT_STREQ(s.marsAddress[1], "mb");
  EXPECT_STREQ(s.marsAddress[2], "me");
  EXPECT_STREQ(s.marsAddress[3], "mn");
  EXPECT_STREQ(s.userAddress[0], "uk");
  EXPECT_STREQ(s.userAddress[1], "ub");
  EXPECT_STREQ(s.userAddress[2], "ue");
  EXPECT_STREQ(s.userAddress[3], "un");
  EXPECT_DOUBLE_EQ(s.balanceKest, 10);
  EXPECT_DOUBLE_EQ(s.balanceBtc, 0.5);
  EXPECT_DOUBLE_EQ(s.balanceEth, 1.5);
  EXPECT_DOUBLE_EQ(s.balanceBnb, 2.5);
  // Values the reply never carries stay as they were.
  EXPECT_DOUBLE_EQ(s.moveSpeed, 0);
  EXPECT_DOUBLE_EQ(s.boost, 0);
}

TEST(ParseMachineInfo, CountDecidesWhetherTheRecordIsRead) {
  struct Case {
    std::string count;
    bool readsRecord;
  } cases[] = {{"1", true}, {"-1", true},  {"7abc", true}, {"0", false},
               {"", false}, {"x1", false}, {" 0 ", false}};
  for (const Case& c : cases) {
    const MachineState s = Parse(FullReply(c.count));
    EXPECT_STREQ(s.serverVersion, "0.217") << c.count;  // read whatever the count
    EXPECT_EQ(s.level, c.readsRecord ? 3 : 0) << c.count;
    EXPECT_STREQ(s.machineName, c.readsRecord ? "Digger \xB1\xE8" : "") << c.count;
  }
}

TEST(ParseMachineInfo, MissingKeyZeroesItsFieldAndCaseIsIgnored) {
  std::string body = FullReply("1", "Levle=9");
  const MachineState s = Parse(body);
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.exp, 500);

  std::string lower = FullReply("1");
  lower.replace(lower.find("[Machine]"), 9, "[machine]");
  EXPECT_EQ(Parse(lower).fuel, 250);
}

TEST(ParseMachineInfo, LongTextsArriveCutToTheirCapacity) {
  std::string body = FullReply("1");
  body.replace(body.find("Name=Digger \xB1\xE8"), 13, "Name=" + std::string(200, 'N'));
  body.replace(body.find("Server=0.217"), 12, "Server=" + std::string(40, 'V'));
  MachineState s = Parse(body);
  EXPECT_EQ(std::string(s.machineName), std::string(127, 'N'));
  EXPECT_EQ(std::string(s.serverVersion), std::string(31, 'V'));

  body = FullReply("1");
  body.replace(body.find("Server=0.217"), 12, "Server=" + std::string(31, 'W'));
  EXPECT_EQ(std::string(Parse(body).serverVersion), std::string(31, 'W'));

  body = FullReply("1");
  body.replace(body.find("Name=Diacria quadrangle"), 23, "Name=" + std::string(300, 'M'));
  EXPECT_EQ(std::string(Parse(body).marsName), std::string(255, 'M'));
}

TEST(ParseMachineInfo, NoFileSetsOnlyAnEmptyVersion) {
  Sandbox box;
  MachineState s;
  std::snprintf(s.serverVersion, sizeof s.serverVersion, "old");
  s.level = 4;
  ParseMachineInfo(s, box.File("absent.dat").c_str());
  EXPECT_STREQ(s.serverVersion, "");
  EXPECT_EQ(s.level, 4);
}
