// What the window's thread spends on what the worker publishes, in the real dialog
// (offscreen unless QT_QPA_PLATFORM says otherwise).
//
//   ApplyRefresh              one published dashboard view applied to the controls (a new
//                             mining step's texts: the changed fields are set, the others
//                             left alone)
//   ApplyRefresh+paint        the same, then the repaint it causes
//   ApplyLogSecond/net        one second's worth of mining-log blocks (1000) published by
//                             a worker, applied at once by their net effect, then painted
//   ApplyLogSecond/each       the same 1000 blocks applied one append at a time, as a
//                             delivery without coalescing would, then painted
//
// The window's thread applies about 60 refreshes and 1000 blocks a second, so
// 60 x ApplyRefresh+paint + ApplyLogSecond/net is its load per second of mining.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTest>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/control_ids.h"
#include "core/fixed_text.h"
#include "core/machine_state.h"
#include "core/session_hooks.h"
#include "mining/mining_step.h"
#include "ui/control_delivery.h"
#include "ui/dashboard/dashboard_render.h"
#include "ui/qxclient_dlg.h"

namespace {

class IdleSession final : public SessionHooks {
 public:
  void StartSession() override {}
  void ToggleMining() override {}
  void EndSession() override {}
  void StopWorker() override {}
};

MachineState SampleRecord() {
  MachineState s;
  CopyText(s.serialNo, "KST-DEMO-0001");
  CopyText(s.macText, "02-42-AC-11-00-02");
  CopyText(s.machineName, "Kestravon miner no. 1");
  CopyText(s.clientVersion, "0.216");
  CopyText(s.serverVersion, "0.216");
  CopyText(s.marsName, "Mare Boreum quadrangle");
  s.activeUsers = 128;
  s.activeMachines = 342;
  s.totalKestMining = 1234567.891234;
  s.mkph = 5120.5;
  s.buriedKest = 98765432.1;
  s.level = 5;
  s.exp = 1200;
  s.fuel = 250;
  s.machineKest = 25;
  s.priceKest = 0.125;
  s.onOff = 1;
  return s;
}

// The dialog, shown, with the delivery attached to it.
struct Window {
  Window() : dialog(session, delivery) {
    dialog.show();
    exposed = QTest::qWaitForWindowExposed(&dialog, 10000);
  }
  bool exposed = false;
  IdleSession session;
  ControlDelivery delivery;
  CQXCLIENTDlg dialog;
};

// Built in main, after the application and before the benchmarks run.
Window* sharedWindow = nullptr;

Window& SharedWindow() { return *sharedWindow; }

// Views of consecutive mining steps, so every refresh changes what a step changes.
std::vector<DashboardView> StepViews(int count) {
  MachineState s = SampleRecord();
  std::vector<DashboardView> views(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    AdvanceMining(s, (i / 900) % 60, 500 + i);
    RenderDashboard(s, views[static_cast<std::size_t>(i)]);
  }
  return views;
}

std::vector<std::string> LogBlocks(int count) {
  CrtRandom random;
  std::vector<std::string> blocks;
  char block[kMiningBlockSize];
  for (int i = 0; i < count; ++i) {
    FormatMiningBlock(block, 12345678u + static_cast<uint32_t>(i), 0.000123, random);
    blocks.emplace_back(block);
  }
  return blocks;
}

void ApplyRefresh(benchmark::State& state, bool paint) {
  Window& w = SharedWindow();
  const std::vector<DashboardView> views = StepViews(4096);
  std::size_t i = 0;
  for (auto _ : state) {
    // Published on the window's own thread, so it is applied before the call returns.
    w.delivery.ShowDashboard(views[i++ % views.size()]);
    if (paint) QCoreApplication::processEvents();
  }
}

void BM_ApplyRefresh(benchmark::State& state) { ApplyRefresh(state, false); }
BENCHMARK(BM_ApplyRefresh)->Name("ApplyRefresh")->Unit(benchmark::kMicrosecond);

void BM_ApplyRefreshPaint(benchmark::State& state) { ApplyRefresh(state, true); }
BENCHMARK(BM_ApplyRefreshPaint)->Name("ApplyRefresh+paint")->Unit(benchmark::kMicrosecond);

void BM_ApplyLogSecondNet(benchmark::State& state) {
  Window& w = SharedWindow();
  const std::vector<std::string> blocks = LogBlocks(1000);
  for (auto _ : state) {
    state.PauseTiming();
    std::thread worker([&] {
      for (const std::string& b : blocks) w.delivery.AppendToPane(LogPane::kMining, b.c_str());
    });
    worker.join();
    state.ResumeTiming();
    w.delivery.ApplyPending();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_ApplyLogSecondNet)->Name("ApplyLogSecond/net")->Unit(benchmark::kMillisecond);

void BM_ApplyLogSecondEach(benchmark::State& state) {
  Window& w = SharedWindow();
  const std::vector<std::string> blocks = LogBlocks(1000);
  for (auto _ : state) {
    // On the window's own thread every append is applied before the call returns.
    for (const std::string& b : blocks) w.delivery.AppendToPane(LogPane::kMining, b.c_str());
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_ApplyLogSecondEach)->Name("ApplyLogSecond/each")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Window window;
  if (!window.exposed) {
    std::fprintf(stderr, "window_bench: the window was not exposed\n");
    return 1;
  }
  sharedWindow = &window;
  benchmark::RunSpecifiedBenchmarks();
  sharedWindow = nullptr;
  benchmark::Shutdown();
  return 0;
}
