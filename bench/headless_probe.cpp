// headless_probe: kestravon-minerd, the client's session without a window, mining against
// the local service, measured the way pass_rate_probe measures the window client. It is
// the floor the window's cost is measured against.
//
//   headless_probe [--seconds 30] [--ceiling-seconds 10] [--warm-up 3] [--summary FILE]
//
// The daemon runs as its own process; the probe reads its passes, steps and experience
// from the local view's /metrics ten times a second (that reading is in the daemon's CPU
// figure), its CPU and memory from /proc, and switches mining back on through the view
// whenever the service switched it off. A bare loop runs beside it during the
// measurement, and alone before and after, as in the window's probe.
#include <httplib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "bare_loop.h"
#include "guarded_main.h"
#include "probe_clock.h"
#include "probe_options.h"
#include "proc_figures.h"
#include "support/minerd_process.h"
#include "support/mining_service_process.h"
#include "support/sandbox.h"
#include "support/view_readers.h"

namespace {

constexpr char kDemoSerial[] = "KST-DEMO-0001";
constexpr char kVersion[] = "0.216";  // offered by the service and kept by the client: no update

bool ParseArgs(int argc, char** argv, ProbeOptions& o) {
  CLI::App app;
  AddProbeOptions(app, o);
  return ParseProbeOptions(
      app, argc, argv, o,
      "usage: headless_probe [--seconds N] [--ceiling-seconds N] [--warm-up N] [--summary FILE]");
}

// The daemon as its local view shows it.
class View {
 public:
  View(int port, std::string tokenPath) : client_("127.0.0.1", port), tokenPath_(std::move(tokenPath)) {
    client_.set_connection_timeout(std::chrono::seconds(5));
    client_.set_read_timeout(std::chrono::seconds(5));
  }
  // Every door of the view but its page wants the token the daemon wrote at its start.
  std::map<std::string, double> Metrics() {
    auto res = client_.Get("/metrics", Authorization());
    auto samples = res && res->status == 200 ? ParseMetrics(res->body) : std::nullopt;
    return samples ? *samples : std::map<std::string, double>{};
  }
  bool ToggleMining() {
    auto res = client_.Post("/mining", Authorization(), "", "text/plain");
    return res && res->status == 200;
  }

 private:
  httplib::Headers Authorization() const {
    std::ifstream in(tokenPath_);
    std::string token;
    std::getline(in, token);
    return {{"Authorization", "Bearer " + token}};
  }

  httplib::Client client_;
  std::string tokenPath_;
};

struct Reading {
  double passes = 0;
  double steps = 0;
  double exp = 0;
  bool mining = false;
  bool ok = false;
};

Reading Read(View& view) {
  const auto m = view.Metrics();
  Reading r;
  r.ok = m.count("kestravon_worker_passes_total") && m.count("kestravon_mining_steps_total") &&
         m.count("kestravon_experience") && m.count("kestravon_mining");
  if (!r.ok) return r;
  r.passes = m.at("kestravon_worker_passes_total");
  r.steps = m.at("kestravon_mining_steps_total");
  r.exp = m.at("kestravon_experience");
  r.mining = m.at("kestravon_mining") == 1;
  return r;
}

// Reads the view every 100 ms for `seconds`, switching mining back on when it is off.
// Experience grows only at millisecond 100 of a second, so a reading within the same
// second sees it: the seconds in which it grew are the credited ones.
struct Watch {
  std::set<int64_t> credited;
  int restarts = 0;
  int failedReads = 0;
  Reading last;
};

void WatchFor(View& view, double seconds, Watch& w) {
  const double end = MonotonicSeconds() + seconds;
  while (MonotonicSeconds() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Reading r = Read(view);
    if (!r.ok) {
      ++w.failedReads;
      continue;
    }
    if (w.last.ok && r.exp != w.last.exp) w.credited.insert(WallSecond());
    if (!r.mining && view.ToggleMining()) ++w.restarts;
    w.last = r;
  }
}

int Run(int argc, char** argv) {
  ProbeOptions o;
  if (!ParseArgs(argc, argv, o)) return 2;
  signal(SIGPIPE, SIG_IGN);

  Sandbox box;
  MiningServiceOptions serviceOptions;
  serviceOptions.binary = KESTRAVON_SERVICE_BIN;
  serviceOptions.databasePath = box.File("service.db");
  serviceOptions.seedSerial = kDemoSerial;
  serviceOptions.clientVersion = kVersion;
  serviceOptions.stderrPath = box.File("service.log");
  MiningServiceProcess service(serviceOptions);
  if (!service.Start()) {
    std::fprintf(stderr, "headless_probe: %s\n", service.StartError().c_str());
    return 1;
  }
  const std::string install = box.MakeDir("install");
  const std::string temp = box.MakeDir("temp");
  chmod(temp.c_str(), 0700);
  WriteFileBytes(install + "/config.ini", std::string("[SerialNo]\r\nNo=") + kDemoSerial +
                                              "\r\n[Version]\r\nClient=" + kVersion + "\r\n");

  const double ceilingBefore = MeasureBareLoop(o.ceilingSeconds).passes;

  MinerdProcess minerd({KESTRAVON_MINERD_BIN, "--install-dir", install, "--temp-dir", temp, "--service-root",
                        service.BaseUrl(), "--patch-root",
                        "http://localhost:" + std::to_string(service.Port()), "--listen", "127.0.0.1:0"},
                       box.File("minerd.log"));
  if (!minerd.Start() || minerd.ViewPort() == 0) {
    std::fprintf(stderr, "headless_probe: kestravon-minerd did not start: %s %s\n",
                 minerd.StartError().c_str(), minerd.FirstLine().c_str());
    return 1;
  }
  View view(minerd.ViewPort(), temp + "/minerd.token");
  const std::string proc = ProcOf(minerd.Pid());
  Watch warmUp;
  WatchFor(view, o.warmUpSeconds, warmUp);

  // The measurement, with a bare loop beside the daemon.
  const std::vector<int> workers = ThreadsNamedIn(proc, "miner-worker");
  const int worker = workers.size() == 1 ? workers.front() : -1;
  Watch w;
  w.last = Read(view);
  BareLoop bare;
  bare.StartWorker();
  const Reading first = w.last;
  const double cpu0 = ProcessCpuSecondsOf(proc);
  const double worker0 = worker > 0 ? ThreadCpuSecondsIn(proc, worker) : -1;
  const long rssStart = ResidentKiBOf(proc);
  const double t0 = MonotonicSeconds();
  const int64_t firstSecond = WallSecond() + 1;
  WatchFor(view, o.seconds, w);
  const double elapsed = MonotonicSeconds() - t0;
  const int64_t endSecond = WallSecond();
  const double cpu1 = ProcessCpuSecondsOf(proc);
  const double worker1 = worker > 0 ? ThreadCpuSecondsIn(proc, worker) : -1;
  const long rssEnd = ResidentKiBOf(proc);
  bare.Stop();
  const double ceilingAlongside = static_cast<double>(bare.Passes()) / elapsed;
  const int seconds = endSecond > firstSecond ? static_cast<int>(endSecond - firstSecond) : 0;
  const int credited = SecondsIn(w.credited, firstSecond, endSecond);
  const double ms100 =
      seconds > 0 ? 100.0 * bare.SecondsWithMillisecond100(firstSecond, endSecond) / seconds : 0;

  const int exitStatus = minerd.Stop(SIGTERM);
  const double ceilingAfter = MeasureBareLoop(o.ceilingSeconds).passes;
  if (!first.ok || !w.last.ok) {
    std::fprintf(stderr, "headless_probe: the view's /metrics could not be read\n");
    return 1;
  }

  const double ceilingAlone = (ceilingBefore + ceilingAfter) / 2;
  const double ceiling = std::max(ceilingAlone, ceilingAlongside);
  const double passes = (w.last.passes - first.passes) / elapsed;
  const double steps = (w.last.steps - first.steps) / elapsed;
  const double cpu = (cpu1 - cpu0) / elapsed;
  const double workerCpu = worker0 >= 0 && worker1 >= 0 ? (worker1 - worker0) / elapsed : -1;
  const double creditedPct = seconds > 0 ? 100.0 * credited / seconds : 0;

  std::printf("headless probe: kestravon-minerd, no window, %d s mining (after %d s warm-up)\n\n", o.seconds,
              o.warmUpSeconds);
  std::printf("%-40s %12s %12s\n", "", "bare loop", "daemon");
  std::printf("%-40s %12.1f %12.1f   (%.1f %% of the ceiling)\n", "passes per second", ceiling, passes,
              ceiling > 0 ? 100.0 * passes / ceiling : 0.0);
  std::printf("%-40s %12s %12.1f\n", "mining steps per second", "-", steps);
  std::printf("%-40s %11.1f%% %11.1f%%   (%d of %d seconds)\n", "seconds with experience credited", ms100,
              creditedPct, credited, seconds);
  std::printf("%-40s %12.3f %12.3f   (the daemon's process, its view's readings included)\n",
              "CPU seconds per wall second", bare.CpuSeconds() / elapsed, cpu);
  if (workerCpu >= 0) std::printf("%-40s %12s %12.3f\n", "  of which the worker", "", workerCpu);
  std::printf("%-40s %12s %12.1f   (%.1f at the start of the measurement)\n", "resident memory, MiB", "-",
              static_cast<double>(rssEnd) / 1024, static_cast<double>(rssStart) / 1024);
  std::printf("%-40s %12s %12d\n", "mining switched back on", "-", w.restarts + warmUp.restarts);
  std::printf("%-40s %12s %12d\n", "unreadable view readings", "-", w.failedReads);
  std::printf("%-40s %12s %12d\n", "exit code on SIGTERM", "-", ExitCodeOf(exitStatus));

  if (!o.summaryPath.empty()) {
    std::ofstream out(o.summaryPath);
    out << "platform=headless\n"
        << "ceiling=" << ceiling << "\n"
        << "ceiling_ms100=" << ms100 << "\n"
        << "passes=" << passes << "\n"
        << "passes_pct=" << (ceiling > 0 ? 100.0 * passes / ceiling : 0.0) << "\n"
        << "steps=" << steps << "\n"
        << "credited_pct=" << creditedPct << "\n"
        << "cpu=" << cpu << "\n"
        << "cpu_worker=" << (workerCpu >= 0 ? std::to_string(workerCpu) : "-") << "\n"
        << "rss_end_mib=" << static_cast<double>(rssEnd) / 1024 << "\n"
        << "restarts=" << w.restarts + warmUp.restarts << "\n";
  }
  return ExitCodeOf(exitStatus) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  return GuardedMain("headless_probe", [&] { return Run(argc, argv); });
}
