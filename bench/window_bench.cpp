// What the window's thread spends on what the worker publishes, in the real dialog
// (offscreen unless QT_QPA_PLATFORM says otherwise).
//
//   ApplyRefresh           one published dashboard view applied to the controls (a new
//                          mining step's texts: the changed fields are set, the others
//                          left alone)
//   ApplyRefresh+paint     the same, then the repaint it causes
//   MiningSecond/reading   one second of mining as the window's thread gets it: 20
//                          pictures (the reading pace), each applying the newest view and
//                          the log blocks published since the picture before (1000 a
//                          second), then painting. This is the window's share of a second
//                          of mining.
//   MiningSecond/frames    the same second applied and painted at every display frame
//                          (60 a second), as the window did before it kept a reading pace.
//   MiningSecond/synchronous  the same second as a synchronous delivery gets it: each of
//                          the 1000 steps' refresh and log block applied as it comes and
//                          painted before the next, as a window does that carries out
//                          every call of its worker at once. Beside
//                          MiningSecond/frames it shows what publishing at the display's
//                          pace saves.
//   LogSecond/frames       the same with the log blocks alone
//   LogSecond/once         a second's 1000 blocks applied at once by their net effect (the
//                          pane rule keeps only the tail), then painted
//   LogSecond/each         the 1000 blocks applied one append at a time, as a delivery
//                          without coalescing would, then painted
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTest>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "client/session_hooks.h"
#include "core/control_ids.h"
#include "core/fixed_text.h"
#include "core/machine_state.h"
#include "dashboard/dashboard_render.h"
#include "mining/mining_step.h"
#include "ui/common/control_delivery.h"
#include "ui/common/reading_pace.h"
#include "ui/qt/qxclient_dlg.h"

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

// Publishes on another thread, as the worker does: nothing is applied until ApplyPending.
template <class F>
void FromWorker(F&& publish) {
  std::thread worker(std::forward<F>(publish));
  worker.join();
}

constexpr int kBlocksPerSecond = 1000;
constexpr int kFramesPerSecond = 60;
constexpr int kPicturesPerSecond = 1000 / kReadingPaceMs;

// One second of mining as the window's thread sees it: `pictures` times, it applies what
// the worker published since the last one (the newest view when `refresh`, and its share
// of the second's log blocks) and paints it.
void MiningSecond(benchmark::State& state, bool refresh, bool blocks, int pictures = kFramesPerSecond) {
  Window& w = SharedWindow();
  const std::vector<DashboardView> views = StepViews(pictures);
  const std::vector<std::string> log = LogBlocks(kBlocksPerSecond);
  for (auto _ : state) {
    std::size_t next = 0;
    for (int frame = 0; frame < pictures; ++frame) {
      const std::size_t until = log.size() * static_cast<std::size_t>(frame + 1) / pictures;
      state.PauseTiming();
      FromWorker([&] {
        if (blocks) {
          for (; next < until; ++next) w.delivery.AppendToPane(LogPane::kMining, log[next].c_str());
        }
        if (refresh) w.delivery.ShowDashboard(views[static_cast<std::size_t>(frame)]);
      });
      state.ResumeTiming();
      w.delivery.ApplyPending();
      QCoreApplication::processEvents();
    }
  }
}

void BM_MiningSecondReading(benchmark::State& state) { MiningSecond(state, true, true, kPicturesPerSecond); }
BENCHMARK(BM_MiningSecondReading)->Name("MiningSecond/reading")->Unit(benchmark::kMillisecond);

void BM_MiningSecond(benchmark::State& state) { MiningSecond(state, true, true); }
BENCHMARK(BM_MiningSecond)->Name("MiningSecond/frames")->Unit(benchmark::kMillisecond);

void BM_MiningSecondSynchronous(benchmark::State& state) {
  Window& w = SharedWindow();
  const std::vector<DashboardView> views = StepViews(kBlocksPerSecond);
  const std::vector<std::string> log = LogBlocks(kBlocksPerSecond);
  for (auto _ : state) {
    for (std::size_t step = 0; step < log.size(); ++step) {
      // On the window's own thread each call is carried out before it returns.
      w.delivery.ShowDashboard(views[step]);
      w.delivery.AppendToPane(LogPane::kMining, log[step].c_str());
      QCoreApplication::processEvents();
    }
  }
}
BENCHMARK(BM_MiningSecondSynchronous)->Name("MiningSecond/synchronous")->Unit(benchmark::kMillisecond);

void BM_LogSecondFrames(benchmark::State& state) { MiningSecond(state, false, true); }
BENCHMARK(BM_LogSecondFrames)->Name("LogSecond/frames")->Unit(benchmark::kMillisecond);

void BM_LogSecondOnce(benchmark::State& state) {
  Window& w = SharedWindow();
  const std::vector<std::string> log = LogBlocks(kBlocksPerSecond);
  for (auto _ : state) {
    state.PauseTiming();
    FromWorker([&] {
      for (const std::string& b : log) w.delivery.AppendToPane(LogPane::kMining, b.c_str());
    });
    state.ResumeTiming();
    w.delivery.ApplyPending();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_LogSecondOnce)->Name("LogSecond/once")->Unit(benchmark::kMillisecond);

void BM_LogSecondEach(benchmark::State& state) {
  Window& w = SharedWindow();
  const std::vector<std::string> log = LogBlocks(kBlocksPerSecond);
  for (auto _ : state) {
    // On the window's own thread every append is applied before the call returns.
    for (const std::string& b : log) w.delivery.AppendToPane(LogPane::kMining, b.c_str());
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_LogSecondEach)->Name("LogSecond/each")->Unit(benchmark::kMillisecond);

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
