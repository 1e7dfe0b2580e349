// Limits of the service's connections, seen from real sockets on 127.0.0.1: methods,
// bodies, header floods, slow senders, and that an answered report has been committed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "service_fixture.h"
#include "support/loopback_socket.h"
#include "support/raw_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

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
      const std::string reply =
          RawExchange(port, std::string(method) + " " + target + " HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi");
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
    const std::string reply =
        RawExchange(port, std::string("GET ") + kInfo + " HTTP/1.1\r\n" + c.headers + "\r\n0123456789");
    EXPECT_EQ(reply.substr(0, 12), c.status) << c.headers;
  }
  // Nothing refused reached the database.
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM reports"), 0);
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM power_notices"), 0);
  const std::string log = LogText();
  EXPECT_NE(log.find(" PUT /Machine/GetData.html 405\n"), std::string::npos) << log;
}

// The limits of a head at their edges: header lines, head size, request line, body length.
TEST_F(ConnectionLimits, HeadsAreJudgedAtTheEdgesOfTheirLimits) {
  StartService();
  const int port = service_->Port();
  const std::string get = std::string("GET ") + kInfo + " HTTP/1.1\r\n";
  auto lines = [](int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += "X-Filler: 1\r\n";
    return out;
  };
  struct Case {
    const char* what;
    std::string bytes;
    const char* status;
  };
  const std::vector<Case> cases = {
      {"64 header lines", get + lines(64) + "\r\n", "HTTP/1.1 200"},
      {"65 header lines", get + lines(65) + "\r\n", "HTTP/1.1 431"},
      {"a 12 KiB header line", get + "X: " + std::string(12000, 'a') + "\r\n\r\n", "HTTP/1.1 200"},
      {"a 17 KB header line", get + "X: " + std::string(17000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
      {"a 17 KB request line", "GET /" + std::string(17000, 'a') + " HTTP/1.1\r\n\r\n", "HTTP/1.1 414"},
      {"a 4096-byte body", get + "Content-Length: 4096\r\n\r\n" + std::string(4096, 'b'), "HTTP/1.1 200"},
      {"a 4097-byte body", get + "content-length: 4097\r\n\r\n", "HTTP/1.1 413"},
      {"a 400 MB body", get + "Content-Length: 400000000\r\n\r\n", "HTTP/1.1 413"},
  };
  for (const Case& c : cases) {
    const std::string reply = RawExchange(port, c.bytes);
    EXPECT_EQ(reply.substr(0, 12), c.status) << c.what << ": " << reply.substr(0, 100);
  }
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
      {"a 400 MB body to an unknown path", "POST /nowhere HTTP/1.1\r\nContent-Length: 400000000\r\n\r\n",
       chunk, "HTTP/1.1 405"},
      {"a 400 MB body on a GET",
       std::string("GET ") + kInfo + " HTTP/1.1\r\nContent-Length: 400000000\r\n\r\n", chunk, "HTTP/1.1 413"},
      {"endless header lines", std::string("GET ") + kInfo + " HTTP/1.1\r\n", headerLines, "HTTP/1.1 431"},
      {"one endless header line", std::string("GET ") + kInfo + " HTTP/1.1\r\n", longLine, "HTTP/1.1 431"},
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
    EXPECT_LT(rss - rssBefore, 32 * 1024)
        << f.what << ": RSS went from " << rssBefore << " to " << rss << " KiB";
  }
  EXPECT_EQ(MachineInfo().Get("Return", "Count"), "1");
}

TEST_F(ConnectionLimits, SlowSendersAreCutOffAndDoNotStarveHonestRequests) {
  // Two threads and a two-second deadline for a head; many more connections than threads
  // trickle one byte every 300 ms, which would take them half a minute to finish a head.
  options_.extraArgs = {"--threads", "2", "--head-timeout-ms", "2000"};
  StartService();
  const int port = service_->Port();
  const std::string head = std::string("GET ") + kInfo + " HTTP/1.1\r\nHost: x\r\n\r\n";
  constexpr int kSlow = 200;
  struct Slow {
    int fd = -1;
    std::size_t sent = 0;
    std::string reply;
    bool closed = false;
    double closedAfter = 0;
  };
  std::vector<Slow> slow(kSlow);
  const auto start = Clock::now();
  for (Slow& s : slow) {
    s.fd = loopback::Connect(port);
    ASSERT_GE(s.fd, 0);
  }
  std::atomic<bool> trickling{true};
  // One thread sends every open connection its next byte, and reads whatever comes back.
  std::thread trickler([&] {
    while (trickling) {
      bool open = false;
      for (Slow& s : slow) {
        if (s.closed) continue;
        open = true;
        pollfd p{s.fd, POLLIN, 0};
        if (poll(&p, 1, 0) > 0) {
          char buffer[4096];
          const ssize_t n = recv(s.fd, buffer, sizeof buffer, MSG_DONTWAIT);
          if (n > 0) {
            s.reply.append(buffer, static_cast<std::size_t>(n));
          } else {
            s.closed = true;
            s.closedAfter = std::chrono::duration<double>(Clock::now() - start).count();
            continue;
          }
        }
        if (s.sent < head.size() && send(s.fd, &head[s.sent], 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1) ++s.sent;
      }
      if (!open) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // every slow head has begun
  const auto asked = Clock::now();
  const HttpAnswer honest = Get(kInfo);
  const double waited = std::chrono::duration<double>(Clock::now() - asked).count();
  // Long enough for every deadline to pass, far short of the slow heads' end.
  std::this_thread::sleep_for(std::chrono::seconds(5));
  trickling = false;
  trickler.join();

  ASSERT_TRUE(honest.arrived);
  EXPECT_EQ(honest.status, 200);
  // Answered before the first slow head reached its deadline: the slow ones held nothing
  // the honest request needed.
  EXPECT_LT(waited, 1.5) << "the honest request waited " << waited << " s";
  for (std::size_t i = 0; i < slow.size(); ++i) {
    // Cut off at the deadline, unanswered; never handled as a request.
    EXPECT_TRUE(slow[i].closed) << "slow connection " << i << " is still open";
    EXPECT_EQ(slow[i].reply, "") << slow[i].reply.substr(0, 100);
    EXPECT_LT(slow[i].closedAfter, 4.0) << "slow connection " << i;
    EXPECT_LT(slow[i].sent, head.size()) << "slow connection " << i << " finished its head";
    close(slow[i].fd);
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
  senders.reserve(kThreads);
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
