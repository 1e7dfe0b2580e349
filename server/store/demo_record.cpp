#include "server/store/demo_record.h"

namespace {

MachineInfo MakeDemo() {
  MachineInfo d;
  d.prices = {43250.12, 2280.55, 312.4, 0.0125};
  MarsRecord& s = d.mars;
  s.name = "Mare Boreum quadrangle";
  s.activeUsers = 128;
  s.activeMachines = 342;
  s.totalKestMining = 1234567.891234;
  s.mkph = 5120.5;
  s.mkps = 1.422361;
  s.buriedKest = 98765432.1;
  s.buriedBtc = 21.5;
  s.buriedEth = 310.25;
  s.buriedBnb = 1500.75;
  s.kestAddr = "KSTmarsBoreumSite00000000000000001";
  s.btcAddr = "1MarsBoreumSiteBtc000000000000001";
  s.ethAddr = "0x4d617273426f7265756d000000000000000001";
  s.bnbAddr = "bnb1marsboreumsite000000000000000001";
  UserRecord& u = d.user;
  u.kestAddr = "KSTdemoUser000000000000000000000001";
  u.btcAddr = "1DemoUserBtc00000000000000000001";
  u.ethAddr = "0x44656d6f55736572000000000000000000000001";
  u.bnbAddr = "bnb1demouser0000000000000000000000001";
  u.kestBalance = 1520.25;
  u.btcBalance = 0.0125;
  u.ethBalance = 0.75;
  u.bnbBalance = 3.5;
  MachineRecord& m = d.machine;
  // "Kestravon miner no. 1"; kept as UTF-8 and sent as code page 949.
  m.name =
      "\xEC\xBC\x80\xEC\x8A\xA4\xED\x8A\xB8\xEB\x9D\xBC\xEB\xB3\xB8 "
      "\xEC\xB1\x84\xEA\xB5\xB4\xEA\xB8\xB0 1\xED\x98\xB8";
  m.sector = 7;
  m.location = 37.512345;
  m.level = 3;
  m.exp = 1250;
  m.fuel = 250;
  m.autoCharge = 1;
  m.targetCoin = 0;
  m.kest = 25.0;
  m.btc = 0.00012;
  m.eth = 0.0034;
  m.bnb = 0.05;
  m.onOff = 1;
  return d;
}

}  // namespace

const MachineInfo& DemoRecord() {
  static const MachineInfo demo = MakeDemo();
  return demo;
}

std::array<CoinPriceRow, 4> CoinPriceRows(const CoinPrices& prices) {
  return {{{"BTC", prices.btc}, {"ETH", prices.eth}, {"BNB", prices.bnb}, {"KEST", prices.kest}}};
}
