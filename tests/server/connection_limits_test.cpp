// Limits of the service's connections, seen from real sockets on 127.0.0.1: methods,
// bodies, header floods, slow senders, and that an answered report has been committed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "service_fixture.h"
#include "support/loopback_socket.h"

namespace {

using Clock = std::chrono::steady_clock;

// Sends what the socket takes without blocking for more than `patience`; returns the count.
std::size_t SendFor(int fd, const std::string& bytes, std::chrono::milliseconds patience) {
  std::size_t sent = 0;
  const auto until = Clock::now() + patience;
  while (sent < bytes.size() && Clock::now() < until) {
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    if (p.revents & (POLLERR | POLLHUP)) break;
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  return sent;
}

// Everything the service sends until it closes (or `limit` passes).
std::string ReadUntilClosed(int fd, std::chrono::milliseconds limit) {
  std::string reply;
  const auto until = Clock::now() + limit;
  char buffer[4096];
  while (Clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  return reply;
}

long RssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

const char* kInfo = "/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x";

class ConnectionLimits : public ServiceTest {};

TEST_F(ConnectionLimits, OnlyGetIsServedAndBodiesAreRefusedUnread) {
  StartService();
  const int port = service_->Port();
  const std::vector<std::string> targets = {kInfo, ReportTarget(ReportValues{}),
                                            "/Machine/UpdateOnOff.html?sn=KST-DEMO-0001&Mac=x&OnOff=1",
                                            "/patch/patchv2.exe", "/nowhere"};
  for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS", "HEAD", "get"}) {
    for (const std::string& target : targets) {
      const std::string reply = RawExchange(
          port, std::string(method) + " " + target + " HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi");
      EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 405") << method << " " << target;
      EXPECT_NE(reply.find("\r\nAllow: GET\r\n"), std::string::npos) << reply;
    }
  }
  struct BodyCase {
    std::string headers;
    const char* status;
  };
  const std::vector<BodyCase> bodies = {
      {"Content-Length: 5000\r\n", "HTTP/1.1 413"},
      {"Transfer-Encoding: chunked\r\n", "HTTP/1.1 413"},
      {"Content-Length: 10\r\n", "HTTP/1.1 200"},  // small enough; a GET's body is ignored
  };
  for (const BodyCase& c : bodies) {
    const std::string reply = RawExchange(
        port, std::string("GET ") + kInfo + " HTTP/1.1\r\n" + c.headers + "\r\n0123456789");
    EXPECT_EQ(reply.substr(0, 12), c.status) << c.headers;
  }
  // Nothing refused reached the database.
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM reports"), 0);
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM power_notices"), 0);
  const std::string log = LogText();
  EXPECT_NE(log.find(" PUT /Machine/GetData.html 405\n"), std::string::npos) << log;
}

TEST_F(ConnectionLimits, HugeBodiesAndHeaderFloodsAreNotHeldInMemory) {
  StartService();
  const int port = service_->Port();
  // The first answers and refusals set up what any later request uses (a sanitizer's
  // shadow memory above all); the baseline is taken after them.
  for (int i = 0; i < 4; ++i) {
    RawExchange(port, "POST /nowhere HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi");
    Get(kInfo);
  }
  const long rssBefore = RssKiB(service_->Pid());
  ASSERT_GT(rssBefore, 0);
  const std::string chunk(1 << 20, 'x');
  std::string headerLines;
  for (int i = 0; i < 20000; ++i) headerLines += "X-Flood-" + std::to_string(i) + ": yes\r\n";
  const std::string longLine = "X-Long: " + std::string(1 << 20, 'a');
  struct Flood {
    const char* what;
    std::string head;
    std::string repeated;  // sent again and again after the head, as long as it is taken
    const char* status;
  };
  const std::vector<Flood> floods = {
      {"a 400 MB body to an unknown path",
       "POST /nowhere HTTP/1.1\r\nContent-Length: 400000000\r\n\r\n", chunk, "HTTP/1.1 405"},
      {"a 400 MB body on a GET", std::string("GET ") + kInfo +
       " HTTP/1.1\r\nContent-Length: 400000000\r\n\r\n", chunk, "HTTP/1.1 413"},
      {"endless header lines", std::string("GET ") + kInfo + " HTTP/1.1\r\n", headerLines,
       "HTTP/1.1 431"},
      {"one endless header line", std::string("GET ") + kInfo + " HTTP/1.1\r\n", longLine,
       "HTTP/1.1 431"},
  };
  for (const Flood& f : floods) {
    const int fd = loopback::Connect(port);
    ASSERT_GE(fd, 0);
    SendFor(fd, f.head, std::chrono::seconds(2));
    // Keep pushing for a while: the service must answer and stop taking bytes, never
    // buffer them. What it takes is bounded by the socket buffers and its own limits.
    std::size_t taken = 0;
    for (int i = 0; i < 100; ++i) {
      const std::size_t n = SendFor(fd, f.repeated, std::chrono::milliseconds(50));
      taken += n;
      if (n == 0) break;
    }
    const std::string reply = ReadUntilClosed(fd, std::chrono::seconds(5));
    close(fd);
    EXPECT_EQ(reply.substr(0, 12), f.status) << f.what << ": " << reply.substr(0, 100);
    EXPECT_LT(taken, 16u << 20) << f.what;
    const long rss = RssKiB(service_->Pid());
    EXPECT_LT(rss - rssBefore, 32 * 1024) << f.what << ": RSS went from " << rssBefore << " to "
                                          << rss << " KiB";
  }
  EXPECT_EQ(MachineInfo().Get("Return", "Count"), "1");
}

TEST_F(ConnectionLimits, SlowSendersAreCutOffAndDoNotStarveHonestRequests) {
  // Two workers and a one-second deadline for a head; four connections trickle one byte
  // every 300 ms, which would take them a minute to finish their heads.
  options_.extraArgs = {"--threads", "2", "--head-timeout-ms", "1000"};
  StartService();
  const int port = service_->Port();
  const std::string head = std::string("GET ") + kInfo + " HTTP/1.1\r\nHost: x\r\n\r\n";
  std::vector<int> slow;
  for (int i = 0; i < 4; ++i) {
    slow.push_back(loopback::Connect(port));
    ASSERT_GE(slow.back(), 0);
  }
  std::vector<std::string> replies(slow.size());
  std::vector<double> heldSeconds(slow.size());
  std::vector<std::thread> tricklers;
  const auto start = Clock::now();
  for (std::size_t i = 0; i < slow.size(); ++i) {
    tricklers.emplace_back([&, i] {
      for (char c : head) {
        if (send(slow[i], &c, 1, MSG_NOSIGNAL) != 1) break;
        pollfd p{slow[i], POLLIN, 0};
        if (poll(&p, 1, 300) > 0) break;  // the service answered (and closes)
      }
      replies[i] = ReadUntilClosed(slow[i], std::chrono::seconds(10));
      heldSeconds[i] = std::chrono::duration<double>(Clock::now() - start).count();
      close(slow[i]);
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the workers are taken now
  const auto asked = Clock::now();
  const HttpAnswer honest = Get(kInfo);
  const double waited = std::chrono::duration<double>(Clock::now() - asked).count();
  for (auto& t : tricklers) t.join();

  ASSERT_TRUE(honest.arrived);
  EXPECT_EQ(honest.status, 200);
  // At most two head deadlines (both workers held, then the next two slow ones), far
  // below the minute the slow heads would take.
  EXPECT_LT(waited, 5.0) << "the honest request waited " << waited << " s";
  for (std::size_t i = 0; i < slow.size(); ++i) {
    EXPECT_EQ(replies[i].substr(0, 12), "HTTP/1.1 408") << replies[i].substr(0, 100);
    EXPECT_LT(heldSeconds[i], 8.0) << "slow connection " << i;
  }
}

TEST_F(ConnectionLimits, EveryAnsweredReportIsCommittedBeforeItsAnswer) {
  StartService();
  if (!OnPostgres()) {
    EXPECT_EQ(DbText("PRAGMA journal_mode"), "wal");
  }
  // Reports from many threads at once, so they share commits; then the service dies
  // without any chance to flush: whatever was answered must already be in the file.
  constexpr int kThreads = 16;
  constexpr int kEach = 8;
  std::atomic<int> answered{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        ReportValues v;
        v.sn = "KST-BURST-" + std::to_string(t);
        v.exp = std::to_string(i);
        if (Report(v).status == 200) ++answered;
      }
    });
  }
  for (auto& t : senders) t.join();
  const int status = service_->Stop(SIGKILL);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_EQ(answered.load(), kThreads * kEach);
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM reports WHERE serial LIKE 'KST-BURST-%'"), answered.load());
}

}  // namespace
