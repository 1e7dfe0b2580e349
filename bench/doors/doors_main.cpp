// doors-bench: the listeners under slow senders, floods and a close with hung viewers.
// Against mining-service (plain and TLS) and the view of kestravon-minerd on loopback:
//  - a crowd of idle or trickling connections (re-opened as they are dropped) while honest
//    requests are timed one after another;
//  - a header flood of up to 1 GiB on one connection: what was taken, the answer, RSS;
//  - SIGTERM with hung viewers: time to exit, and whether the power-off notice came last.
// Prints figures; asserts nothing.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_command_line.h"
#include "fleet_machine.h"
#include "guarded_main.h"
#include "slow_crowd.h"
#include "support/loopback_socket.h"
#include "support/minerd_process.h"
#include "support/mining_service_process.h"
#include "support/raw_peer.h"
#include "support/sandbox.h"
#include "support/service_database.h"
#include "timed_exchange.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string service = KESTRAVON_SERVICE_BIN;
  std::string minerd = KESTRAVON_MINERD_BIN;
  // What each is: ReadOptions.
  int crowd = 1000;
  int viewers = 100;
  int honest = 100;
  long long floodBytes = 1LL << 30;
  int seconds = 60;
};

// The command line; --help lists it.
std::optional<int> ReadOptions(int argc, char** argv, Options& o) {
  CLI::App app{
      "The listeners of mining-service and kestravon-minerd under slow senders, floods and a close "
      "with hung viewers, on loopback. Prints figures.",
      "doors-bench"};
  DescribeBenchOptions(app);
  AddPathOption(app, "--service", o.service, "the mining-service to run");
  AddPathOption(app, "--minerd", o.minerd, "the kestravon-minerd to run");
  AddNumberOption(app, "--crowd", o.crowd, 0, 15000, "slow connections against the service");
  AddNumberOption(app, "--viewers", o.viewers, 0, 400,
                  "slow connections against the view, and hung ones at the close");
  AddNumberOption(app, "--honest", o.honest, 1, 10000, "timed requests in each crowd");
  AddNumberOption(app, "--flood-bytes", o.floodBytes, 1LL, std::numeric_limits<long long>::max(),
                  "bytes of the header flood on one connection");
  AddNumberOption(app, "--seconds", o.seconds, 1, 600, "bound of each crowd's honest requests together");
  return ReadBenchCommandLine(app, argc, argv);
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(std::llround(p * static_cast<double>(values.size() - 1)));
  return values[std::min(at, values.size() - 1)];
}

// Honest requests one after another while the crowd stands; prints one line of figures.
template <typename Exchange>
void TimeHonest(const char* what, const Options& o, const SlowCrowd* crowd, Exchange exchange) {
  std::vector<double> ms;
  int answered = 0;
  int tried = 0;
  const auto end = Clock::now() + std::chrono::seconds(o.seconds);
  while (tried < o.honest && Clock::now() < end) {
    // Spread over several seconds, so slow connections reach their deadline and come back
    // meanwhile.
    if (tried > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const TimedAnswer a = exchange(tried);
    ++tried;
    if (a.answered && a.status == 200) {
      ++answered;
      ms.push_back(a.seconds * 1000);
    }
  }
  std::printf("%-34s %5d %5ld %4d/%-4d %8.1f %8.1f %8.1f\n", what, crowd ? crowd->Open() : 0,
              crowd ? crowd->Reopened() : 0L, answered, tried, Percentile(ms, 0.5), Percentile(ms, 0.99),
              ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()));
}

// Pushes an endless head at `port` until the server stops taking it or the bytes run out.
void Flood(const char* what, int port, pid_t pid, const std::string& head, long long bytes) {
  const long before = RssKiB(pid);
  long peak = before;
  const int fd = loopback::Connect(port);
  SendFor(fd, head, std::chrono::seconds(2));
  std::string lines;
  for (int i = 0; i < 256; ++i)
    lines += "X-Flood-" + std::to_string(i) + ": " + std::string(4000, 'y') + "\r\n";
  long long taken = 0;
  const auto start = Clock::now();
  while (taken < bytes && Clock::now() - start < std::chrono::seconds(60)) {
    const std::size_t n = SendFor(fd, lines, std::chrono::seconds(2));
    taken += static_cast<long long>(n);
    peak = std::max(peak, RssKiB(pid));
    if (n == 0) break;
  }
  const std::string reply = ReadUntilClosed(fd, std::chrono::seconds(5));
  close(fd);
  const long after = RssKiB(pid);
  const std::string status = reply.empty() ? "closed, no answer" : reply.substr(0, reply.find('\r'));
  std::printf("%-22s taken %10lld B in %5.1f s; RSS %6ld -> peak %7ld -> %6ld KiB; %s\n", what, taken,
              std::chrono::duration<double>(Clock::now() - start).count(), before, peak, after,
              status.c_str());
}

std::string ServiceRequest(const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

struct Minerd {
  std::unique_ptr<MinerdProcess> process;
  std::string token;
};

Minerd StartMinerd(const Options& o, const Sandbox& box, const MiningServiceProcess& service,
                   const char* name) {
  const std::string install = box.MakeDir(std::string(name) + "-install");
  const std::string temp = box.MakeDir(std::string(name) + "-temp");
  chmod(temp.c_str(), 0700);
  WriteFileBytes(install + "/config.ini", "[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.216\r\n");
  Minerd m;
  m.process = std::make_unique<MinerdProcess>(
      std::vector<std::string>{o.minerd, "--install-dir", install, "--temp-dir", temp, "--service-root",
                               service.BaseUrl(), "--listen", "127.0.0.1:0"},
      box.File(std::string(name) + ".log"));
  if (!m.process->Start()) {
    std::fprintf(stderr, "doors-bench: kestravon-minerd did not start: %s\n",
                 m.process->StartError().c_str());
    std::exit(1);
  }
  m.token = ReadFileBytes(temp + "/minerd.token");
  if (!m.token.empty() && m.token.back() == '\n') m.token.pop_back();
  return m;
}

// What a crowd of connections cut off unanswered cost the request log: its lines about
// them against how many they tell of (one each, or a count).
void LogCost(const std::string& log, double seconds) {
  static const char kCount[] = " - - - closed: ";
  std::size_t lines = 0;
  unsigned long long told = 0;
  for (std::size_t at = log.find(" closed: "); at != std::string::npos; at = log.find(" closed: ", at + 1)) {
    ++lines;
    const std::size_t lineStart = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
    const std::size_t count = log.find(kCount, lineStart);
    const std::size_t lineEnd = log.find('\n', at);
    if (count != std::string::npos && count < lineEnd &&
        log.find(" more in the last second", count) < lineEnd) {
      told += std::strtoull(log.c_str() + count + sizeof kCount - 1, nullptr, 10);
    } else {
      ++told;
    }
  }
  std::printf(
      "request log under the crowd: %zu lines (%.1f a second) tell of %llu connections ended unanswered\n",
      lines, seconds > 0 ? static_cast<double>(lines) / seconds : 0.0, told);
}

std::unique_ptr<MiningServiceProcess> StartService(const Options& o, const Sandbox& box, const char* name,
                                                   bool tls) {
  MiningServiceOptions so;
  so.binary = o.service;
  so.databasePath = box.File(std::string(name) + ".db");
  so.stderrPath = box.File(std::string(name) + ".log");
  so.boostEvery = 0;
  so.extraArgs = {"--exit-with-parent"};
  if (tls) {
    so.tlsCert = std::string(KESTRAVON_TLS_FIXTURES) + "/server.pem";
    so.tlsKey = std::string(KESTRAVON_TLS_FIXTURES) + "/server.key";
  }
  auto service = std::make_unique<MiningServiceProcess>(so);
  if (!service->Start()) {
    std::fprintf(stderr, "doors-bench: mining-service did not start: %s\n", service->StartError().c_str());
    std::exit(1);
  }
  return service;
}

}  // namespace

namespace {

int Run(int argc, char** argv) {
  Options o;
  if (const std::optional<int> exitStatus = ReadOptions(argc, argv, o)) return *exitStatus;
  signal(SIGPIPE, SIG_IGN);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  Sandbox box;
  const std::string trickle =
      ServiceRequest("/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x") + "X-Slow: yes\r\n";

  std::printf("%-34s %5s %5s %9s %8s %8s %8s\n", "honest requests amid slow ones", "open", "again",
              "ok/tried", "p50 ms", "p99 ms", "max ms");
  {
    auto service = StartService(o, box, "plain", false);
    std::vector<FleetMachine> machines;
    machines.reserve(10);
    for (int i = 0; i < 10; ++i) machines.push_back(FleetMachine::Make(i, 7));
    auto report = [&](int i) {
      return ExchangePlain(service->Port(),
                           ServiceRequest(machines[static_cast<std::size_t>(i % 10)].ReportTarget(10, 12)),
                           std::chrono::seconds(10));
    };
    TimeHonest("service, plain, alone", o, nullptr, report);
    {
      const auto crowdStart = Clock::now();
      {
        SlowCrowd crowd(service->Port(), o.crowd, trickle, 250);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        TimeHonest(("service, plain, " + std::to_string(o.crowd) + " slow").c_str(), o, &crowd, report);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the last count is written
      LogCost(ReadFileBytes(box.File("plain.log")),
              std::chrono::duration<double>(Clock::now() - crowdStart).count());
    }
    Flood("service, header flood", service->Port(), service->Pid(),
          "GET /Machine/GetData.html?sn=KST-DEMO-0001&Mac=x HTTP/1.1\r\n", o.floodBytes);
  }
  {
    auto service = StartService(o, box, "tls", true);
    auto info = [&](int) {
      return ExchangeTls(service->Port(), ServiceRequest("/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x"),
                         std::chrono::seconds(10));
    };
    TimeHonest("service, TLS, alone", o, nullptr, info);
    SlowCrowd crowd(service->Port(), o.crowd, std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11),
                    250);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    TimeHonest(("service, TLS, " + std::to_string(o.crowd) + " slow").c_str(), o, &crowd, info);
  }
  {
    auto service = StartService(o, box, "view-service", false);
    Minerd minerd = StartMinerd(o, box, *service, "view");
    const int port = minerd.process->ViewPort();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    const std::string metrics =
        "GET /metrics HTTP/1.1\r\n" + host + "Authorization: Bearer " + minerd.token + "\r\n\r\n";
    auto look = [&](int) { return ExchangePlain(port, metrics, std::chrono::seconds(10)); };
    TimeHonest("view, /metrics, alone", o, nullptr, look);
    {
      SlowCrowd crowd(port, o.viewers, "GET /metrics HTTP/1.1\r\n" + host + "X-Slow: yes\r\n", 250);
      std::this_thread::sleep_for(std::chrono::seconds(2));
      TimeHonest(("view, /metrics, " + std::to_string(o.viewers) + " slow").c_str(), o, &crowd, look);
    }
    Flood("view, header flood", port, minerd.process->Pid(), "GET /metrics HTTP/1.1\r\n" + host,
          o.floodBytes);
    minerd.process->Stop(SIGTERM);
  }
  for (const int viewers : {0, o.viewers}) {
    // The close: hung viewers (silent, half a head, a whole request never read), then SIGTERM.
    const std::string name = "close-" + std::to_string(viewers);
    auto service = StartService(o, box, (name + "-service").c_str(), false);
    Minerd minerd = StartMinerd(o, box, *service, name.c_str());
    const int port = minerd.process->ViewPort();
    const std::string head = "GET /dashboard HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                             "\r\nAuthorization: Bearer " + minerd.token + "\r\n";
    std::vector<int> hung;
    for (int i = 0; i < viewers; ++i) {
      const int fd = loopback::Connect(port);
      if (fd < 0) continue;
      if (i % 3 == 1) SendFor(fd, head, std::chrono::seconds(1));
      if (i % 3 == 2) SendFor(fd, head + "\r\n", std::chrono::seconds(1));
      hung.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto stop = Clock::now();
    const int status = minerd.process->Stop(SIGTERM, std::chrono::seconds(120));
    const double seconds = std::chrono::duration<double>(Clock::now() - stop).count();
    for (int fd : hung) close(fd);
    const std::vector<int> notices = PowerNoticesOf(box.File(name + "-service.db"), "KST-DEMO-0001");
    const std::string log = ReadFileBytes(box.File(name + "-service.log"));
    const auto last = log.rfind(" GET /");
    const std::string lastRequest =
        last == std::string::npos ? "none" : log.substr(last + 5, log.find('\n', last) - last - 5);
    std::printf("SIGTERM with %zu hung viewers: exit %s after %.2f s; notices", hung.size(),
                WIFEXITED(status) ? std::to_string(WEXITSTATUS(status)).c_str() : "by signal", seconds);
    for (int n : notices) std::printf(" %d", n);
    std::printf("; last request: %s\n", lastRequest.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return GuardedMain("doors-bench", [&] { return Run(argc, argv); });
}
