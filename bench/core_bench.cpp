// What the worker spends per pass, and what the exchanges spend reading their replies.
//
//   MiningStep/published     one MinerCore::MiningStep as the worker runs it in the real
//                            client: the step, the 45 field texts and the log block,
//                            published to the window's delivery (a window thread that
//                            applies nothing, so this is the worker's side alone)
//   MiningStep/discarded     the same step into a window layer that drops everything
//   RenderDashboard          the 45 field texts of one refresh
//   FormatMiningBlock        one "Mining complete" block with its 32-character hash
//   ReadMachineRecord        ParseMachineInfo of a full machine record (41 keys)
//   ApplyStatusReply         the four keys of a status reply applied to the record
//
// allocs/step counts the heap allocations of the timed loop per iteration.
#include <benchmark/benchmark.h>

#include <clocale>
#include <string>
#include <thread>

#include "client/miner_core.h"
#include "dashboard/dashboard_render.h"
#include "exchange/machine_info.h"
#include "exchange/status_reply.h"
#include "mining/mining_step.h"
#include "support/allocation_counter.h"
#include "support/sandbox.h"
#include "ui/common/control_delivery.h"
#include "ui/common/control_sink.h"

namespace {

// The demo machine's record as the local service answers it.
constexpr char kMachineRecord[] =
    "[Version]\r\nServer=0.216\r\n"
    "[Return]\r\nCount=1\r\n"
    "[Coin]\r\nBTC=67012.500000\r\nETH=3120.750000\r\nBNB=580.250000\r\nKEST=0.125000\r\n"
    "[Machine]\r\nName=Kestravon miner no. 1\r\nSector=3\r\nLocation=71.250000\r\nLevel=5\r\n"
    "EXP=1200\r\nFuel=250\r\nAutoCharge=1\r\nTargetCoin=0\r\nKEST=25.000000\r\n"
    "BTC=0.000120\r\nETH=0.003400\r\nBNB=0.050000\r\nOnOff=1\r\n"
    "[MARS]\r\nName=Mare Boreum quadrangle\r\nActive_User=128\r\nActive_Machine=342\r\n"
    "Total_Kest_Mining=1234567.891234\r\nMKPH=5120.500000\r\nMKPS=1.422361\r\n"
    "B_KEST=98765432.100000\r\nB_BTC=21.500000\r\nB_ETH=310.250000\r\nB_BNB=1500.750000\r\n"
    "KEST_ADDR=KSTmarsBoreumSite00000000000000001\r\n"
    "BTC_ADDR=1MarsBoreumSiteBtc000000000000001\r\n"
    "ETH_ADDR=0x4d617273426f7265756d000000000000000001\r\n"
    "BNB_ADDR=bnb1marsboreumsite000000000000000001\r\n"
    "[USER]\r\nKEST_ADDR=KSTdemoUser000000000000000000000001\r\n"
    "BTC_ADDR=1DemoUserBtc00000000000000000001\r\n"
    "ETH_ADDR=0x44656d6f55736572000000000000000000000001\r\n"
    "BNB_ADDR=bnb1demouser0000000000000000000000001\r\n"
    "KEST_BALANCE=1520.250000\r\nBTC_BALANCE=0.012500\r\nETH_BALANCE=0.750000\r\n"
    "BNB_BALANCE=3.500000\r\n";

constexpr char kStatusReplyText[] =
    "[Machine]\r\nFuel=249\r\nKEST=25.081234\r\nCode=1000\r\n[Version]\r\nServer=0.216\r\n";

// Files the benchmarks read, written once.
struct Files {
  Files() {
    WriteFileBytes(machineRecord, kMachineRecord);
    WriteFileBytes(statusReply, kStatusReplyText);
  }
  Sandbox box;
  std::string machineRecord = box.File("qx_sn.dat");
  std::string statusReply = box.File("qx_ui.dat");
};

Files& SharedFiles() {
  static Files files;
  return files;
}

MachineState DemoRecord() {
  MachineState s;
  ParseMachineInfo(s, SharedFiles().machineRecord.c_str());
  return s;
}

class NullSink final : public ControlSink {
 public:
  void ApplyText(int, std::string_view) override {}
  void ApplyCheck(int, int) override {}
  void ApplyRadio(int, int, int) override {}
  void ApplyPaneText(LogPane, bool, std::string_view) override {}
};

class DiscardingWindow final : public WindowLayer {
 public:
  void SetControlText(int, const char*) override {}
  void SetCheck(int, int) override {}
  void CheckRadio(int, int, int) override {}
  void AppendToPane(LogPane, const char*) override {}
  void ShowDashboard(const DashboardView&) override {}
};

void RunMiningSteps(benchmark::State& state, WindowLayer& window) {
  SystemServices services;
  ClientEnvironment env = services.Environment();
  MinerCore core(env, window);
  const MachineState record = DemoRecord();
  core.WithState([&record](MachineState& s) { s = record; });
  // Warm the publishing buffers up to their steady size first.
  for (int i = 0; i < 2000; ++i) core.MiningStep();
  std::size_t allocations = 0;
  {
    AllocationScope scope;
    for (auto _ : state) core.MiningStep();
    allocations = scope.Allocations();
  }
  state.counters["allocs/step"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
}

void BM_MiningStepPublished(benchmark::State& state) {
  ControlDelivery delivery;
  NullSink sink;
  // The window's thread is another one, so every call here is the worker's publish.
  std::thread([&] { delivery.Attach(&sink, 0, 0); }).join();
  RunMiningSteps(state, delivery);
}
BENCHMARK(BM_MiningStepPublished)->Name("MiningStep/published");

void BM_MiningStepDiscarded(benchmark::State& state) {
  DiscardingWindow window;
  RunMiningSteps(state, window);
}
BENCHMARK(BM_MiningStepDiscarded)->Name("MiningStep/discarded");

void BM_RenderDashboard(benchmark::State& state) {
  MachineState s = DemoRecord();
  DashboardView view;
  for (auto _ : state) {
    s.machineKest += 0.0001;
    RenderDashboard(s, view);
    benchmark::DoNotOptimize(view);
  }
}
BENCHMARK(BM_RenderDashboard)->Name("RenderDashboard");

void BM_FormatMiningBlock(benchmark::State& state) {
  CrtRandom random;
  char block[kMiningBlockSize];
  uint32_t tick = 12345678;
  for (auto _ : state) {
    FormatMiningBlock(block, ++tick, 0.000123, random);
    benchmark::DoNotOptimize(block);
  }
}
BENCHMARK(BM_FormatMiningBlock)->Name("FormatMiningBlock");

void BM_ReadMachineRecord(benchmark::State& state) {
  const std::string& path = SharedFiles().machineRecord;
  MachineState s;
  for (auto _ : state) {
    ParseMachineInfo(s, path.c_str());
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_ReadMachineRecord)->Name("ReadMachineRecord");

void BM_ApplyStatusReply(benchmark::State& state) {
  const std::string& path = SharedFiles().statusReply;
  MachineState s = DemoRecord();
  for (auto _ : state) {
    StatusReplyEffects effects = ApplyStatusReply(s, path.c_str());
    benchmark::DoNotOptimize(effects);
  }
}
BENCHMARK(BM_ApplyStatusReply)->Name("ApplyStatusReply");

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_NUMERIC, "C");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
