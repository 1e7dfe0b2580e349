// pass_rate_probe: the whole client, its window shown, mining against the local service,
// measured side by side with the ceiling of its 1 ms schedule on this machine.
//
//   pass_rate_probe [--seconds 30] [--ceiling-seconds 10] [--warm-up 3] [--summary FILE]
//                   [--hidden] [--pane-flood LINES_PER_MS]
//
// Runs on whatever Qt platform it is given (QT_QPA_PLATFORM=offscreen, or xcb under
// xvfb-run). Phases: the bare loop alone; then the client with its window shown, warmed
// up, then measured while a second bare loop runs alongside. Prints a table; --summary
// also writes the figures as key=value lines for scripts/bench.
//
// --hidden hides the window once the session has started (under xcb it is unmapped, as
// a minimised window is). --pane-flood adds a thread that appends LINES_PER_MS lines to
// the event pane every millisecond through the client's own window layer, on top of the
// mining pane's thousand blocks a second; its CPU is left out of the client's.
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bare_loop.h"
#include "client/miner_core.h"
#include "experience_watch.h"
#include "guarded_main.h"
#include "live_client.h"
#include "pane_flood.h"
#include "probe_options.h"
#include "ui/qt/qxclient_dlg.h"

namespace {

struct Options : ProbeOptions {
  bool hidden = false;  // hide the window once the session has started
  int floodLinesPerMs = 0;
};

bool ParseArgs(int argc, char** argv, Options& o) {
  CLI::App app;
  AddProbeOptions(app, o);
  app.add_flag("--hidden", o.hidden);
  CLI::Option* flood = app.add_option("--pane-flood", o.floodLinesPerMs)->check(command_line::NotAnOption());
  if (!ParseProbeOptions(app, argc, argv, o,
                         "usage: pass_rate_probe [--seconds N] [--ceiling-seconds N] [--warm-up N] "
                         "[--summary FILE] [--hidden] [--pane-flood LINES_PER_MS]")) {
    return false;
  }
  return flood->count() == 0 || (o.floodLinesPerMs > 0 && o.floodLinesPerMs <= 100);
}

double LoadAverage() {
  double load = -1;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = -1;
    std::fclose(f);
  }
  return load;
}

// Runs the Qt event loop for `seconds` (the client keeps mining on meanwhile).
void RunWindow(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

struct Figures {
  double ceilingBefore = 0;     // bare-loop passes per second, alone, before the client
  double ceilingAfter = 0;      // and after it
  double ceilingAlone = 0;      // the mean of the two
  double ceilingAlongside = 0;  // bare-loop passes per second, beside the client
  double ceiling100Share = 0;   // share of seconds with a bare-loop pass at ms 100
  double clientPasses = 0;
  double clientSteps = 0;
  int seconds = 0;
  int credited = 0;
  double clientCpu = 0;  // CPU seconds per wall second
  double windowThreadCpu = 0;
  double workerCpu = 0;  // -1 when the worker thread was not found
  double bareCpu = 0;
  double floodLines = 0;  // lines per second into the event pane, 0 without a flood
  long rssStartKiB = 0;
  long rssEndKiB = 0;
  int restarts = 0;
};

void Print(const Figures& f, const std::string& platform, const Options& o, double loadBefore,
           double loadAfter) {
  const double ceiling = std::max(f.ceilingAlone, f.ceilingAlongside);
  const double share = f.seconds > 0 ? 100.0 * f.credited / f.seconds : 0;
  std::printf("pass-rate probe: Qt platform %s, window %s, %d s mining (after %d s warm-up)\n",
              platform.c_str(), o.hidden ? "hidden" : "shown", o.seconds, o.warmUpSeconds);
  if (f.floodLines > 0) std::printf("event pane flooded with %.0f lines a second\n", f.floodLines);
  std::printf("load average %.2f before, %.2f after\n\n", loadBefore, loadAfter);
  std::printf("%-40s %12s %12s\n", "", "bare loop", "client");
  std::printf("%-40s %12.1f %12.1f   (%.1f %% of the ceiling)\n", "passes per second", ceiling,
              f.clientPasses, ceiling > 0 ? 100.0 * f.clientPasses / ceiling : 0.0);
  std::printf("%-40s %12.1f %12s   (%.1f before, %.1f after the client)\n", "  bare loop alone",
              f.ceilingAlone, "", f.ceilingBefore, f.ceilingAfter);
  std::printf("%-40s %12.1f %12s\n", "  bare loop alongside the client", f.ceilingAlongside, "");
  std::printf("%-40s %12s %12.1f\n", "mining steps per second", "-", f.clientSteps);
  std::printf("%-40s %11.1f%% %11.1f%%   (%d of %d seconds)\n", "seconds with experience credited",
              100.0 * f.ceiling100Share, share, f.credited, f.seconds);
  std::printf("%-40s %12.3f %12.3f\n", "CPU seconds per wall second", f.bareCpu, f.clientCpu);
  std::printf("%-40s %12s %12.3f\n", "  of which the window's thread", "", f.windowThreadCpu);
  if (f.workerCpu >= 0) {
    std::printf("%-40s %12s %12.3f\n", "  of which the worker", "", f.workerCpu);
  } else {
    std::printf("%-40s %12s %12s   (no thread named miner-worker)\n", "  of which the worker", "", "-");
  }
  std::printf("%-40s %12s %12.1f   (%.1f at the start of the measurement)\n", "resident memory, MiB", "-",
              static_cast<double>(f.rssEndKiB) / 1024, static_cast<double>(f.rssStartKiB) / 1024);
  std::printf("%-40s %12s %12d\n", "mining switched back on", "-", f.restarts);
  std::printf(
      "\n(bare loop: the worker's 1 ms wait and a clock read, nothing else; its column of "
      "\"experience credited\" is the share of seconds with a pass at millisecond 100)\n");
}

void WriteSummary(const Figures& f, const std::string& platform, const std::string& path, double load) {
  std::ofstream out(path);
  const double ceiling = std::max(f.ceilingAlone, f.ceilingAlongside);
  out << "platform=" << platform << "\n"
      << "load=" << load << "\n"
      << "ceiling=" << ceiling << "\n"
      << "ceiling_alone=" << f.ceilingAlone << "\n"
      << "ceiling_alongside=" << f.ceilingAlongside << "\n"
      << "ceiling_ms100=" << 100.0 * f.ceiling100Share << "\n"
      << "passes=" << f.clientPasses << "\n"
      << "passes_pct=" << (ceiling > 0 ? 100.0 * f.clientPasses / ceiling : 0.0) << "\n"
      << "steps=" << f.clientSteps << "\n"
      << "credited_pct=" << (f.seconds > 0 ? 100.0 * f.credited / f.seconds : 0.0) << "\n"
      << "credited=" << f.credited << "/" << f.seconds << "\n"
      << "cpu=" << f.clientCpu << "\n"
      << "cpu_window=" << f.windowThreadCpu << "\n"
      << "cpu_worker=" << (f.workerCpu >= 0 ? std::to_string(f.workerCpu) : "-") << "\n"
      << "bare_cpu=" << f.bareCpu << "\n"
      << "rss_start_mib=" << static_cast<double>(f.rssStartKiB) / 1024 << "\n"
      << "rss_end_mib=" << static_cast<double>(f.rssEndKiB) / 1024 << "\n"
      << "restarts=" << f.restarts << "\n"
      << "flood_lines=" << f.floodLines << "\n";
}

int Run(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, o)) return 2;
  QApplication app(argc, argv);
  // Qt took the locale from the environment; the client formats with printf's "C" point.
  std::setlocale(LC_NUMERIC, "C");
  const std::string platform = QGuiApplication::platformName().toStdString();
  const double loadBefore = LoadAverage();

  LiveClient client(LiveClientOptions{KESTRAVON_SERVICE_BIN, std::chrono::milliseconds(100)});
  std::string error;
  if (!client.StartService(error)) {
    std::fprintf(stderr, "pass_rate_probe: %s\n", error.c_str());
    return 1;
  }

  // The ceiling alone is measured before and after the client, so that a load of the
  // machine that changes meanwhile weighs on both sides alike.
  Figures f;
  f.ceilingBefore = MeasureBareLoop(o.ceilingSeconds).passes;

  if (!client.ShowWindow(error)) {
    std::fprintf(stderr, "pass_rate_probe: %s\n", error.c_str());
    return 1;
  }
  if (o.hidden) client.Window().hide();
  std::unique_ptr<PaneFlood> flood;
  if (o.floodLinesPerMs > 0) flood = std::make_unique<PaneFlood>(client.Layer(), o.floodLinesPerMs);
  client.KeepMining();
  RunWindow(o.warmUpSeconds);

  // The measurement.
  MinerCore& core = client.Core();
  const std::vector<int> workers = ThreadsNamed("miner-worker");  // before the bare loop starts
  const int worker = workers.size() == 1 ? workers.front() : -1;
  const double worker0 = worker > 0 ? ThreadCpuSecondsOf(worker) : -1;
  ExperienceWatch watch(core);
  BareLoop bare;
  bare.StartWorker();
  f.rssStartKiB = ResidentKiB();
  const uint64_t passes0 = core.WorkerPassCount();
  const uint64_t steps0 = client.MiningSteps();
  const double cpu0 = ProcessCpuSeconds();
  const double window0 = ThreadCpuSeconds();
  const double flood0 = flood ? flood->CpuSeconds() : 0;
  const uint64_t floodLines0 = flood ? flood->Lines() : 0;
  const double t0 = MonotonicSeconds();
  const int64_t firstSecond = WallSecond() + 1;

  RunWindow(o.seconds);
  f.restarts = client.MiningRestarts();

  const double elapsed = MonotonicSeconds() - t0;
  const int64_t endSecond = WallSecond();  // the seconds before this one are complete
  const uint64_t passes1 = core.WorkerPassCount();
  const uint64_t steps1 = client.MiningSteps();
  const double window1 = ThreadCpuSeconds();
  const double worker1 = worker > 0 ? ThreadCpuSecondsOf(worker) : -1;
  const double flood1 = flood ? flood->CpuSeconds() : 0;
  const uint64_t floodLines1 = flood ? flood->Lines() : 0;
  bare.Stop();
  watch.Finish();
  const double cpu1 = ProcessCpuSeconds();
  f.rssEndKiB = ResidentKiB();

  f.ceilingAlongside = static_cast<double>(bare.Passes()) / elapsed;
  f.clientPasses = static_cast<double>(passes1 - passes0) / elapsed;
  f.clientSteps = static_cast<double>(steps1 - steps0) / elapsed;
  f.seconds = endSecond > firstSecond ? static_cast<int>(endSecond - firstSecond) : 0;
  f.credited = watch.CreditedSeconds(firstSecond, endSecond);
  f.ceiling100Share =
      f.seconds > 0 ? static_cast<double>(bare.SecondsWithMillisecond100(firstSecond, endSecond)) / f.seconds
                    : 0;
  f.bareCpu = bare.CpuSeconds() / elapsed;
  f.windowThreadCpu = (window1 - window0) / elapsed;
  f.workerCpu = (worker0 >= 0 && worker1 >= 0) ? (worker1 - worker0) / elapsed : -1;
  f.clientCpu = (cpu1 - cpu0 - bare.CpuSeconds() - watch.CpuSeconds() - (flood1 - flood0)) / elapsed;
  f.floodLines = static_cast<double>(floodLines1 - floodLines0) / elapsed;
  if (flood) flood->Finish();

  client.Close();
  f.ceilingAfter = MeasureBareLoop(o.ceilingSeconds).passes;
  f.ceilingAlone = (f.ceilingBefore + f.ceilingAfter) / 2;
  const double loadAfter = LoadAverage();
  Print(f, platform, o, loadBefore, loadAfter);
  if (!o.summaryPath.empty()) WriteSummary(f, platform, o.summaryPath, loadAfter);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return GuardedMain("pass_rate_probe", [&] { return Run(argc, argv); });
}
