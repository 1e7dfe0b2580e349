#include "daemon/daemon_main.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "client/client_environment.h"
#include "client/miner_core.h"
#include "core/machine_state.h"
#include "daemon/access_token.h"
#include "daemon/daemon_options.h"
#include "daemon/dashboard_json.h"
#include "daemon/headless_window.h"
#include "daemon/history_json.h"
#include "daemon/history_ring.h"
#include "daemon/history_sampler.h"
#include "daemon/instance_folders.h"
#include "daemon/local_view.h"
#include "daemon/log_lines.h"
#include "daemon/metrics_text.h"
#include "daemon/tick_snapshot.h"
#include "daemon/utf8_text.h"
#include "platform/ansi_code_page.h"
#include "platform/private_folder.h"
#include "profile/identity.h"

namespace {

// SIGINT and SIGTERM are taken by the main thread with sigwait; every other thread (the
// worker, libcurl's, the view's) starts with them blocked and never sees them.
sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// Waits for SIGINT or SIGTERM; meanwhile calls `tick` once a second, on seconds of the
// monotonic clock counted from the start (a late tick does not make up for the ones missed).
int WaitForStopSignal(const sigset_t& set, const std::function<void()>& tick) {
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + std::chrono::seconds(1);
  for (;;) {
    const auto now = Clock::now();
    if (now >= next) {
      tick();
      next += std::chrono::seconds(1);
      if (next <= Clock::now()) next = Clock::now() + std::chrono::seconds(1);
      continue;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - now);
    const timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                           static_cast<long>(wait.count() % 1000000000)};
    const int signal = sigtimedwait(&set, nullptr, &timeout);
    if (signal > 0) return signal;
  }
}

double MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string ToggleJson(MinerCore& core, HeadlessWindow& window) {
  const MachineState state = core.Snapshot();
  return "{\"onOff\":" + std::to_string(state.onOff) +
         ",\"caption\":" + JsonString(AnsiToUtf8(window.Text(kIdStartStop))) + "}\n";
}

// Why the session cannot start, or empty: an install folder given that is not there, or
// a config.ini without the serial number.
std::string StartProblem(const std::string& givenInstallDir, const std::string& installDir) {
  struct stat info {};
  if (!givenInstallDir.empty()) {
    if (stat(givenInstallDir.c_str(), &info) != 0) {
      return "--install-dir " + givenInstallDir + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) return "--install-dir " + givenInstallDir + ": not a folder";
  }
  MachineState state{};
  ReadConfiguration(installDir, state);
  return MissingSerialNumberText(installDir, state.serialNo);
}

}  // namespace

int RunDaemon(int argc, char** argv) {
  // The client formats its numbers with printf and needs the "C" decimal point.
  std::setlocale(LC_ALL, "C");
  const DaemonOptionsResult parsed = ParseDaemonOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.helpRequested) {
    std::fputs(DaemonUsageText().c_str(), stdout);
    return 0;
  }
  if (parsed.versionRequested) {
    std::fputs(DaemonVersionText().c_str(), stdout);
    return 0;
  }
  if (!parsed.options) {
    std::fprintf(stderr, "kestravon-minerd: %s\nRun 'kestravon-minerd --help' for the options.\n",
                 parsed.error.c_str());
    return 2;
  }
  const DaemonOptions& options = *parsed.options;
  const auto started = std::chrono::steady_clock::now();

  const sigset_t stopSignals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a viewer that hangs up must not end the session

  SystemServices services;
  ClientEnvironment env = services.Environment();
  LineDebugOutput debug(options.verbose);
  env.debug = &debug;
  if (!options.installDir.empty()) env.installDir = options.installDir;
  // A machine without a serial number would mine and report as nobody: refuse to start.
  if (const std::string problem = StartProblem(options.installDir, env.installDir); !problem.empty()) {
    WriteLogLine("kestravon-minerd: " + problem);
    return 1;
  }
  env.tempDir = InstanceTempFolder(options.installDir, options.tempDir);
  // Without a private folder no answer of the service is ever read: refuse to start, and
  // say what is wrong and what to do.
  if (const std::string problem = PrivateFolderProblem(env.tempDir); !problem.empty()) {
    std::fprintf(
        stderr, "kestravon-minerd: the private folder %s cannot be used: %s; %s\n", env.tempDir.c_str(),
        problem.c_str(),
        options.tempDir.empty() ? PrivateFolderAdvice() : "give --temp-dir a folder of your own, mode 0700");
    return 1;
  }
  if (!options.serviceRoot.empty()) env.serviceRoot = options.serviceRoot;
  if (!options.patchRoot.empty()) env.patchRoot = options.patchRoot;

  // Destroyed in reverse: the view (no request runs after it), the client (whose worker
  // is stopped before the window layer goes), the window layer.
  HeadlessWindow window;
  MinerCore core(env, window);
  std::mutex commandMutex;     // Start/Stop commands one at a time, as the window's thread runs them
  bool sessionEnding = false;  // under commandMutex

  // The last hour, a point a second, taken on the main thread between signals; and what
  // the open pages read, built at most once per point whatever their number.
  HistoryRing history;
  HistorySampler sampler(history);
  const auto sampleHistory = [&core, &sampler] {
    HistoryReading reading;
    reading.monotonicSeconds = MonotonicSeconds();
    reading.wallSecond = static_cast<int64_t>(std::time(nullptr));
    reading.workerPasses = core.WorkerPassCount();
    const MachineState state = core.Snapshot();
    reading.coinAmount = state.machineKest;
    reading.fuel = state.fuel;
    reading.experience = state.exp;
    sampler.Sample(reading);
  };
  TickSnapshot snapshot([&core, &window, &history](uint64_t tick) {
    uint64_t first = 0;
    const std::vector<HistoryPoint> newest = history.Since(tick > 0 ? tick - 1 : 0, first);
    const std::string point =
        newest.empty() ? std::string() : HistoryPointJson(newest.back(), first + newest.size() - 1);
    SnapshotCounters counters;
    counters.workerPasses = core.WorkerPassCount();
    const SessionCounts counts = core.Counts();
    counters.miningSteps = counts.miningSteps;
    counters.reportsSent = counts.reportsSent;
    return SnapshotJson(tick, counters, DashboardJson(window.Current()), point);
  });

  std::unique_ptr<LocalView> view;
  std::string viewToken;
  if (options.listen) {
    ViewSources sources;
    sources.token = NewAccessToken();
    viewToken = sources.token;
    if (!WriteTokenFile(env.tempDir, sources.token)) {
      std::fprintf(stderr,
                   "kestravon-minerd: cannot write the view's token into %s (a folder of this user, "
                   "mode 0700, is needed)\n",
                   env.tempDir.c_str());
      return 1;
    }
    sources.dashboardJson = [&window] { return DashboardJson(window.Current()); };
    sources.metricsText = [&core, started] {
      MetricsInput in;
      in.workerPasses = core.WorkerPassCount();
      in.counts = core.Counts();
      const MachineState state = core.Snapshot();
      in.machineKest = state.machineKest;
      in.fuel = state.fuel;
      in.exp = state.exp;
      in.onOff = state.onOff;
      in.uptimeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      return MetricsText(in);
    };
    sources.toggleMining = [&core, &window, &commandMutex, &sessionEnding,
                            &snapshot]() -> std::optional<std::string> {
      std::lock_guard<std::mutex> lock(commandMutex);
      // Checked under the lock the close takes too: no Start slips in after the
      // power-off notice.
      if (sessionEnding) return std::nullopt;
      core.ToggleMining();
      snapshot.Invalidate();
      return ToggleJson(core, window);
    };
    sources.page.token = sources.token;
    sources.page.snapshotJson = [&snapshot, &history] { return *snapshot.Get(history.Count()); };
    sources.page.historyJson = [&history](uint64_t since) {
      uint64_t first = 0;
      const std::vector<HistoryPoint> points = history.Since(since, first);
      return HistoryJson(points, first);
    };
    view =
        std::make_unique<LocalView>(std::move(sources), static_cast<unsigned>(options.viewPerAddressLimit));
    std::string error;
    // Bound before the session starts: a port taken by another instance is found out
    // before the service hears of this machine.
    if (!view->Bind(*options.listen, error)) {
      std::fprintf(stderr, "kestravon-minerd: %s\n", error.c_str());
      unlink((env.tempDir + kTokenFileName).c_str());
      return 1;
    }
  }

  core.StartSession();
  if (view) {
    std::string error;
    if (!view->Start(error)) {
      std::fprintf(stderr, "kestravon-minerd: %s\n", error.c_str());
      {
        std::lock_guard<std::mutex> lock(commandMutex);
        core.EndSession();
      }
      core.StopWorker();
      unlink((env.tempDir + kTokenFileName).c_str());
      return 1;
    }
    const std::string host = options.listen->host.find(':') != std::string::npos
                                 ? "[" + options.listen->host + "]"
                                 : options.listen->host;
    const std::string address = "http://" + host + ":" + std::to_string(view->Port());
    WriteLogLine("view on " + address + ", view token in " + env.tempDir + kTokenFileName);
    // The page takes the token from the fragment, which a browser never sends to a server.
    std::printf("listening on %s/#token=%s\n", address.c_str(), viewToken.c_str());
  } else {
    std::printf("running without a view\n");
  }
  std::fflush(stdout);

  sampleHistory();
  const int signal = WaitForStopSignal(stopSignals, sampleHistory);
  WriteLogLine(signal == SIGINT ? "SIGINT: ending the session" : "SIGTERM: ending the session");
  // As Cancel closes the window: nothing can click Start/Stop any more, then the session
  // ends (worker stopped, power-off notice, pause) and the worker is gone for good. The
  // view keeps answering meanwhile on its own threads, and whatever its viewers do, they
  // hold up neither the notice nor the exit: their connections are dropped after it.
  {
    std::lock_guard<std::mutex> lock(commandMutex);
    sessionEnding = true;
    core.EndSession();
  }
  if (view) view->Stop();
  core.StopWorker();
  if (view) unlink((env.tempDir + kTokenFileName).c_str());
  return 0;
}
