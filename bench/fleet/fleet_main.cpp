// mining-fleet: N simulated machines against mining-service on 127.0.0.1: one service
// with a SQLite file of its own, or with --db postgresql://... one or more services
// (--instances) sharing that database, the machines spread over them in turn.
//
// Each machine does what a client's run does: the machine information and the power-on
// notice at start, status reports in the first five milliseconds of the seconds of its
// report minutes (one pass per millisecond, each let through by the client's gate of four
// draws in forty), and the power-off notice at the end. Report minutes come every third
// minute; the bench does not wait for them but plays their seconds back to back, each at
// the start of a real second, which the service cannot tell from the real thing (it does
// not judge a report by its own clock). Bounded: at most 20000 machines and 60 burst
// seconds, every phase under a deadline.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_command_line.h"
#include "fleet_machine.h"
#include "fleet_seed.h"
#include "guarded_main.h"
#include "http_load.h"
#include "latency_table.h"
#include "support/mining_service_process.h"

namespace {

struct FleetOptions {
  int machines = 100;
  int bursts = 5;
  int threads = 0;  // 0: the service's default
  std::uint32_t seed = 216;
  std::string service = KESTRAVON_SERVICE_BIN;
  std::string db;     // empty: a SQLite file in a temporary folder
  int instances = 1;  // services on the one database
};

// The command line; --help lists it.
std::optional<int> ReadOptions(int argc, char** argv, FleetOptions& o) {
  CLI::App app{
      "N simulated machines against mining-service on 127.0.0.1: one service on a SQLite file of "
      "its own, or services sharing one PostgreSQL database. Prints figures; exits 1 when a "
      "request failed or the database lost one.",
      "mining-fleet"};
  DescribeBenchOptions(app);
  AddNumberOption(app, "--machines", o.machines, 1, 20000, "simulated machines");
  AddNumberOption(app, "--bursts", o.bursts, 1, 60, "burst seconds of status reports");
  AddNumberOption(app, "--threads", o.threads, 1, 1024, "the service's --threads (default: its own)");
  app.add_option("--seed", o.seed, "seed of the machines' draws")->type_name("N");
  AddPathOption(app, "--service", o.service, "the mining-service to run");
  // The URI may hold a password: an error does not repeat it.
  const CLI::Validator postgresOnly(
      [](std::string& db) {
        return IsPostgresDb(db) ? std::string() : std::string("needs a postgresql:// URI");
      },
      "", "");
  app.add_option("--db", o.db, "a PostgreSQL database for the services (default: a SQLite file of its own)")
      ->type_name("postgresql://...")
      ->check(command_line::NotAnOption())
      ->check(postgresOnly);
  AddNumberOption(app, "--instances", o.instances, 1, 8, "services on the one database");
  if (const std::optional<int> exitStatus = ReadBenchCommandLine(app, argc, argv)) return exitStatus;
  // Several services on one SQLite file would each have a writer of its own: the service
  // is built for one process per file.
  if (o.instances > 1 && o.db.empty()) return WrongBenchCommandLine(app, "--instances above 1 needs --db");
  return std::nullopt;
}

// Peak and current resident set of a process, in MiB, from /proc.
double ProcStatusMiB(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::string(field).size()) / 1024;
  }
  return 0;
}

// User plus system CPU seconds a process has used so far, from /proc.
double ProcCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Fields after the command name (which may hold blanks): utime and stime are 14 and 15.
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::atof(field.c_str());
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen + "\n";
}

// answeredAt counts the answers per service port.
void Record(KindFigures& k, const HttpResult& r, std::map<int, long>& answeredAt) {
  if (r.answered && r.status == 200) {
    k.seconds.push_back(r.Seconds());
    ++answeredAt[r.port];
    return;
  }
  if (k.errors++ == 0) k.firstError = r.answered ? "status " + std::to_string(r.status) : r.error;
}

// Sends one request per machine, at most `window` in flight, until all are answered.
template <typename Target, typename OnAnswer>
bool EachMachine(HttpLoad& load, std::vector<FleetMachine>& fleet, std::size_t window, Target target,
                 OnAnswer onAnswer, LoadClock::time_point deadline) {
  std::size_t next = 0;
  while ((next < fleet.size() || load.InFlight() > 0) && LoadClock::now() < deadline) {
    while (next < fleet.size() && load.InFlight() < window) {
      FleetMachine* m = &fleet[next++];
      load.Send(m->port, target(*m), [m, onAnswer](const HttpResult& r) { onAnswer(*m, r); });
    }
    load.RunOnce(deadline);
  }
  return load.RunUntilIdle(deadline);
}

}  // namespace

namespace {

int Run(int argc, char** argv) {
  FleetOptions o;
  if (const std::optional<int> exitStatus = ReadOptions(argc, argv, o)) return *exitStatus;
  // Every machine of a burst can hold a socket at once.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  char dirTemplate[] = "/tmp/mining-fleet-XXXXXX";
  if (!mkdtemp(dirTemplate)) {
    std::perror("mining-fleet: mkdtemp");
    return 1;
  }
  const std::string dir = dirTemplate;
  MiningServiceOptions so;
  so.binary = o.service;
  so.databasePath = o.db.empty() ? dir + "/fleet.db" : o.db;
  so.extraArgs = {"--exit-with-parent"};
  if (o.threads > 0) so.extraArgs.insert(so.extraArgs.end(), {"--threads", std::to_string(o.threads)});
  std::vector<std::unique_ptr<MiningServiceProcess>> services;
  for (int i = 0; i < o.instances; ++i) {
    so.stderrPath = dir + "/service-" + std::to_string(i + 1) + ".log";
    services.push_back(std::make_unique<MiningServiceProcess>(so));
  }
  // The first start makes the database; the fleet joins it while the service is down.
  std::string error;
  if (!services[0]->Start()) {
    std::fprintf(stderr, "mining-fleet: %s\n", services[0]->StartError().c_str());
    return 1;
  }
  services[0]->Stop();
  if (!SeedFleet(so.databasePath, o.machines, error)) {
    std::fprintf(stderr, "mining-fleet: seeding: %s\n", error.c_str());
    return 1;
  }
  for (auto& service : services) {
    if (!service->Start()) {
      std::fprintf(stderr, "mining-fleet: %s\n", service->StartError().c_str());
      return 1;
    }
  }
  double rssAtStart = 0;
  for (auto& service : services) rssAtStart += ProcStatusMiB(service->Pid(), "VmRSS:");

  std::vector<FleetMachine> fleet;
  fleet.reserve(static_cast<std::size_t>(o.machines));
  for (int i = 0; i < o.machines; ++i) {
    fleet.push_back(FleetMachine::Make(i, o.seed));
    fleet.back().port = services[static_cast<std::size_t>(i) % services.size()]->Port();
  }
  std::vector<KindFigures> kinds(4);
  kinds[0].kind = "GetData";
  kinds[1].kind = "power on";
  kinds[2].kind = "report";
  kinds[3].kind = "power off";
  KindFigures& info = kinds[0];
  KindFigures& powerOn = kinds[1];
  KindFigures& report = kinds[2];
  KindFigures& powerOff = kinds[3];
  HttpLoad load(std::chrono::seconds(30));
  std::map<int, long> answeredAt;
  // Clients start over minutes, not all at once; a window of 256 keeps the start brisk.
  const std::size_t startWindow = 256;
  const auto phaseDeadline = [] { return LoadClock::now() + std::chrono::seconds(120); };

  EachMachine(
      load, fleet, startWindow, [](const FleetMachine& m) { return m.MachineInfoTarget(); },
      [&](FleetMachine& m, const HttpResult& r) {
        Record(info, r, answeredAt);
        if (r.answered && r.status == 200) m.ApplyMachineInfo(r.body);
      },
      phaseDeadline());
  EachMachine(
      load, fleet, startWindow, [](const FleetMachine& m) { return m.PowerTarget(1); },
      [&](FleetMachine&, const HttpResult& r) { Record(powerOn, r, answeredAt); }, phaseDeadline());

  // Burst seconds. Each machine's worker passes once a millisecond; during milliseconds
  // 0-4 a pass draws the gate and, when it opens, the worker is inside the exchange until
  // the answer comes, so it passes again only after that.
  struct BurstFigures {
    long sent = 0;
    long answered = 0;
    double seconds = 0;  // from the second's start to its last answer
  };
  std::vector<BurstFigures> bursts;
  long reportsAnswered = 0;
  for (int b = 0; b < o.bursts; ++b) {
    // Start at the next whole second of the wall clock, as the clients' clocks do.
    const auto wallNow = std::chrono::system_clock::now();
    const auto nextSecond = std::chrono::ceil<std::chrono::seconds>(wallNow + std::chrono::milliseconds(1));
    const auto t0 = LoadClock::now() + (nextSecond - wallNow);
    const std::time_t stamp = std::chrono::system_clock::to_time_t(nextSecond);
    std::tm local{};
    localtime_r(&stamp, &local);
    while (LoadClock::now() < t0) load.RunOnce(t0);

    BurstFigures figures;
    auto lastAnswer = t0;
    for (int ms = 0; ms < 5; ++ms) {
      const auto tick = t0 + std::chrono::milliseconds(ms);
      while (LoadClock::now() < tick) load.RunOnce(tick);
      for (FleetMachine& m : fleet) {
        if (m.busy || !m.mining) continue;
        if (m.random.Draw() % 40 > 3) continue;
        m.busy = true;
        ++figures.sent;
        load.Send(m.port, m.ReportTarget(local.tm_hour, local.tm_min), [&, mp = &m](const HttpResult& r) {
          mp->busy = false;
          Record(report, r, answeredAt);
          if (r.answered && r.status == 200) {
            ++figures.answered;
            ++reportsAnswered;
            lastAnswer = std::max(lastAnswer, r.finished);
            mp->ApplyStatusReply(r.body);
          }
        });
      }
    }
    // The burst's answers; the next burst second waits until this one is done, so every
    // figure belongs to its burst.
    load.RunUntilIdle(t0 + std::chrono::seconds(30));
    figures.seconds = std::chrono::duration<double>(lastAnswer - t0).count();
    bursts.push_back(figures);
  }

  EachMachine(
      load, fleet, startWindow, [](const FleetMachine& m) { return m.PowerTarget(0); },
      [&](FleetMachine&, const HttpResult& r) { Record(powerOff, r, answeredAt); }, phaseDeadline());

  // With several services: their sums, as if one.
  double rssPeak = 0;
  double serviceCpu = 0;
  for (auto& service : services) {
    rssPeak += ProcStatusMiB(service->Pid(), "VmHWM:");
    serviceCpu += ProcCpuSeconds(service->Pid());
  }
  rusage own{};
  getrusage(RUSAGE_SELF, &own);
  const double fleetCpu = static_cast<double>(own.ru_utime.tv_sec + own.ru_stime.tv_sec) +
                          static_cast<double>(own.ru_utime.tv_usec + own.ru_stime.tv_usec) / 1e6;
  int exitCode = 0;
  for (auto& service : services) {
    const int code = ExitCodeOf(service->Stop());
    if (code != 0) exitCode = code;
  }
  FleetRows rows;
  if (!CountFleetRows(so.databasePath, rows, error)) {
    std::fprintf(stderr, "mining-fleet: counting: %s\n", error.c_str());
    return 1;
  }

  std::printf("machines: %d, burst seconds: %d, service threads: %s, %d service%s on %s\n", o.machines,
              o.bursts, o.threads > 0 ? std::to_string(o.threads).c_str() : "default", o.instances,
              o.instances == 1 ? "" : "s", o.db.empty() ? "SQLite" : "PostgreSQL");
  long sent = 0;
  double bestRate = 0;
  for (std::size_t i = 0; i < bursts.size(); ++i) {
    const BurstFigures& f = bursts[i];
    const double rate = f.seconds > 0 ? static_cast<double>(f.answered) / f.seconds : 0;
    bestRate = std::max(bestRate, rate);
    sent += f.sent;
    std::printf("burst %zu: %ld reports sent, %ld answered, last answer after %.0f ms (%.0f answers/s)\n",
                i + 1, f.sent, f.answered, 1000 * f.seconds, rate);
  }
  std::printf("reports at the burst: up to %.0f answers/s\n", bestRate);
  PrintLatencyTable(stdout, kinds);
  const bool nothingLost = rows.reports == reportsAnswered &&
                           rows.powerOn == static_cast<long>(powerOn.seconds.size()) &&
                           rows.powerOff == static_cast<long>(powerOff.seconds.size());
  std::printf(
      "database: %lld report rows for %ld answered reports (%ld sent); power notices "
      "%lld on / %lld off for %zu / %zu answered: %s\n",
      static_cast<long long>(rows.reports), reportsAnswered, sent, static_cast<long long>(rows.powerOn),
      static_cast<long long>(rows.powerOff), powerOn.seconds.size(), powerOff.seconds.size(),
      nothingLost ? "nothing lost" : "MISMATCH");
  std::printf("service RSS: %.1f MiB after start, %.1f MiB peak; exit status %d\n", rssAtStart, rssPeak,
              exitCode);
  const long requests = static_cast<long>(info.seconds.size() + powerOn.seconds.size() +
                                          report.seconds.size() + powerOff.seconds.size());
  std::printf(
      "CPU: service %.2f s, fleet %.2f s for %ld answered requests (%.0f us each in the "
      "service); load average %s",
      serviceCpu, fleetCpu, requests, requests ? 1e6 * serviceCpu / static_cast<double>(requests) : 0.0,
      LoadAverage().c_str());
  if (services.size() > 1) {
    std::printf("answered per service:");
    for (const auto& service : services) std::printf(" %ld", answeredAt[service->Port()]);
    std::printf("\n");
  }
  long errors = 0;
  for (const KindFigures& k : kinds) errors += k.errors;
  const bool clean = errors == 0 && nothingLost && exitCode == 0;
  // A run that went wrong keeps its database and the service's log to look into.
  if (clean) {
    std::filesystem::remove_all(dir);
  } else {
    std::printf("kept for a look: %s\n", dir.c_str());
  }
  return clean ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  return GuardedMain("mining-fleet", [&] { return Run(argc, argv); });
}
