// soak: the whole client, its window shown (offscreen unless QT_QPA_PLATFORM says
// otherwise), mining against the local service for a given time. Prints once a minute
// the resident memory, open descriptors, threads, and the mining steps and worker
// passes per second of that minute; at the end, the change from minute 1 to the last.
//
//   soak [--minutes 10] [--interval-seconds 60]
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/miner_core.h"
#include "core/command_line.h"
#include "guarded_main.h"
#include "live_client.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Sample {
  long rssKiB = 0;
  int fds = 0;
  int threads = 0;
};

Sample Take() { return Sample{ResidentKiB(), OpenDescriptors(), ThreadCount()}; }

int Run(int argc, char** argv) {
  int minutes = 10;
  int interval = 60;
  CLI::App options;
  options.set_help_flag();  // no --help: a word soak does not know prints its usage
  options.allow_extras();
  options.add_option("--minutes", minutes)->check(command_line::NotAnOption());
  options.add_option("--interval-seconds", interval)->check(command_line::NotAnOption());
  std::string wrongWord;
  if (command_line::Parse(options, nullptr, std::vector<std::string>(argv + 1, argv + argc), wrongWord) !=
      command_line::Outcome::kRun) {
    std::fprintf(stderr, "usage: soak [--minutes N] [--interval-seconds N]\n");
    return 2;
  }
  if (minutes <= 0 || interval <= 0) return 2;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");

  LiveClient client(LiveClientOptions{KESTRAVON_SERVICE_BIN, std::chrono::milliseconds(100)});
  std::string error;
  if (!client.StartService(error) || !client.ShowWindow(error)) {
    std::fprintf(stderr, "soak: %s\n", error.c_str());
    return 1;
  }
  MinerCore& core = client.Core();

  std::printf("soak: %d min, window shown on Qt platform %s, one line per %d s\n", minutes,
              QGuiApplication::platformName().toStdString().c_str(), interval);
  std::printf("%6s %10s %6s %8s %11s %12s %9s %10s\n", "minute", "RSS MiB", "fds", "threads", "steps/s",
              "passes/s", "restarts", "CPU/wall");
  std::fflush(stdout);

  const Sample start = Take();
  std::printf("%6d %10.1f %6d %8d %11s %12s %9s %10s\n", 0, static_cast<double>(start.rssKiB) / 1024,
              start.fds, start.threads, "-", "-", "-", "-");
  std::fflush(stdout);

  int minute = 0;
  Sample first;
  Sample last;
  uint64_t steps0 = client.MiningSteps();
  uint64_t passes0 = core.WorkerPassCount();
  double cpu0 = ProcessCpuSeconds();
  double t0 = Now();

  QEventLoop loop;
  QTimer report;
  report.setInterval(interval * 1000);
  QObject::connect(&report, &QTimer::timeout, [&] {
    ++minute;
    const double t1 = Now();
    const uint64_t steps1 = client.MiningSteps();
    const uint64_t passes1 = core.WorkerPassCount();
    const double cpu1 = ProcessCpuSeconds();
    const Sample s = Take();
    if (minute == 1) first = s;
    last = s;
    std::printf("%6d %10.1f %6d %8d %11.1f %12.1f %9d %10.3f\n", minute, static_cast<double>(s.rssKiB) / 1024,
                s.fds, s.threads, static_cast<double>(steps1 - steps0) / (t1 - t0),
                static_cast<double>(passes1 - passes0) / (t1 - t0), client.MiningRestarts(),
                (cpu1 - cpu0) / (t1 - t0));
    std::fflush(stdout);
    steps0 = steps1;
    passes0 = passes1;
    cpu0 = cpu1;
    t0 = t1;
    if (minute >= minutes) loop.quit();
  });
  client.KeepMining();
  report.start();
  loop.exec();

  client.Close();
  std::printf("from minute 1 to minute %d: resident memory %+ld KiB, descriptors %+d, threads %+d\n", minute,
              last.rssKiB - first.rssKiB, last.fds - first.fds, last.threads - first.threads);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return GuardedMain("soak", [&] { return Run(argc, argv); });
}
