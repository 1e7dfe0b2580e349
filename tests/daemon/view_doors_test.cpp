// The view seen as another local user or a broken viewer would see it: every path behind
// the token, header floods cut off without growing the daemon, slow viewers that neither
// silence the view nor hold up the close.
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "minerd_fixture.h"
#include "support/loopback_socket.h"
#include "support/raw_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct ViewDoors : MinerdFixture {
  std::unique_ptr<MinerdProcess> minerd;
  int port = 0;

  void StartWithView() {
    minerd = Launch({"--listen", "127.0.0.1:0"});
    ASSERT_TRUE(minerd->Start()) << minerd->StartError();
    port = minerd->ViewPort();
    ASSERT_GT(port, 0) << minerd->FirstLine();
  }
  std::string HostLine() const { return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"; }
};

TEST_F(ViewDoors, EveryPathAsksForTheToken) {
  StartWithView();
  const std::string token = Token();
  ASSERT_EQ(token.size(), 64u);
  std::string wrong = token;
  wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
  struct Door {
    const char* method;
    const char* path;
  };
  // The page's own files are the exception (below): a browser opening the address cannot
  // send a token, and they hold nothing of the machine.
  const std::vector<Door> doors = {{"GET", "/dashboard"}, {"GET", "/metrics"},  {"POST", "/mining"},
                                   {"GET", "/mining"},    {"GET", "/snapshot"}, {"GET", "/history"},
                                   {"POST", "/"},         {"GET", "/nothing"}};
  const std::vector<std::pair<const char*, std::string>> credentials = {
      {"no header", ""},
      {"a wrong token", "Bearer " + wrong},
      {"the token without its scheme", token},
      {"the token and more", "Bearer " + token + "0"},
      {"a shorter token", "Bearer " + token.substr(1)},
      {"another scheme", "Basic " + token},
  };
  for (const Door& door : doors) {
    for (const auto& [what, authorization] : credentials) {
      std::string request = std::string(door.method) + " " + door.path + " HTTP/1.1\r\n" + HostLine();
      if (!authorization.empty()) request += "Authorization: " + authorization + "\r\n";
      if (std::string(door.method) == "POST") request += "Content-Length: 0\r\n";
      const int fd = loopback::Connect(port);
      ASSERT_GE(fd, 0);
      SendFor(fd, request + "\r\n", std::chrono::seconds(2));
      const std::string reply = ReadUntilClosed(fd, std::chrono::seconds(5));
      close(fd);
      EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 401") << door.method << " " << door.path << " with " << what;
      EXPECT_NE(reply.find("WWW-Authenticate: Bearer\r\n"), std::string::npos) << reply;
      // Nothing of the machine's identity in a refusal.
      EXPECT_EQ(reply.find(kSerial), std::string::npos) << door.path << " with " << what;
    }
  }
  for (const char* file : {"/", "/assets/page.js", "/assets/uPlot.iife.min.js"}) {
    const int fd = loopback::Connect(port);
    ASSERT_GE(fd, 0);
    SendFor(fd, std::string("GET ") + file + " HTTP/1.1\r\n" + HostLine() + "\r\n", std::chrono::seconds(2));
    const std::string reply = ReadUntilClosed(fd, std::chrono::seconds(5));
    close(fd);
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 200") << file;
    EXPECT_EQ(reply.find(kSerial), std::string::npos) << file;
  }
  // The same doors open with the token; nothing was switched by the refused POSTs.
  httplib::Client view("127.0.0.1", port);
  view.set_bearer_token_auth(token);
  auto dashboard = view.Get("/dashboard");
  ASSERT_TRUE(dashboard);
  EXPECT_EQ(dashboard->status, 200);
  EXPECT_NE(dashboard->body.find(kSerial), std::string::npos);
  auto metrics = view.Get("/metrics");
  ASSERT_TRUE(metrics);
  EXPECT_EQ(metrics->status, 200);
  EXPECT_NE(metrics->body.find("kestravon_mining 1"), std::string::npos) << metrics->body;
  EXPECT_EQ(ExitCodeOf(minerd->Stop(SIGTERM)), 0);
  EXPECT_EQ(Notices(), (std::vector<int>{1, 0}));
}

TEST_F(ViewDoors, AHeaderFloodIsCutOffAndLeavesNoMemoryBehind) {
  StartWithView();
  httplib::Client view("127.0.0.1", port);
  view.set_bearer_token_auth(Token());
  ASSERT_TRUE(view.Get("/dashboard"));  // what any request sets up, before the baseline
  const long rssBefore = RssKiB(minerd->Pid());
  ASSERT_GT(rssBefore, 0);

  const int fd = loopback::Connect(port);
  ASSERT_GE(fd, 0);
  SendFor(fd, "GET /dashboard HTTP/1.1\r\n" + HostLine(), std::chrono::seconds(2));
  std::string lines;
  for (int i = 0; i < 256; ++i)
    lines += "X-Flood-" + std::to_string(i) + ": " + std::string(4000, 'y') + "\r\n";
  // Pushed for up to three seconds, as long as the view takes it (1 MiB a round).
  std::size_t taken = 0;
  const auto start = Clock::now();
  while (SecondsSince(start) < 3.0) {
    const std::size_t n = SendFor(fd, lines, std::chrono::milliseconds(100));
    taken += n;
    if (n == 0) break;
  }
  const std::string reply = ReadUntilClosed(fd, std::chrono::seconds(5));
  close(fd);
  EXPECT_TRUE(reply.empty() || reply.substr(0, 12) == "HTTP/1.1 431") << reply.substr(0, 100);
  // What the view took is bounded by the socket buffers and its own cap.
  EXPECT_LT(taken, 16u << 20);
  const long rss = RssKiB(minerd->Pid());
  EXPECT_LT(rss - rssBefore, 10 * 1024) << "RSS went from " << rssBefore << " to " << rss << " KiB";
  // And it still answers.
  auto after = view.Get("/dashboard");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 200);
}

TEST_F(ViewDoors, SlowViewersNeitherSilenceTheViewNorHoldUpTheClose) {
  StartWithView();
  const std::string token = Token();
  // A hundred viewers: some send half a head a byte at a time, some connect and say
  // nothing, some send a whole request and never read the answer.
  constexpr int kViewers = 100;
  std::vector<int> viewers;
  for (int i = 0; i < kViewers; ++i) {
    const int fd = loopback::Connect(port);
    ASSERT_GE(fd, 0);
    viewers.push_back(fd);
  }
  const std::string head =
      "GET /metrics HTTP/1.1\r\n" + HostLine() + "Authorization: Bearer " + token + "\r\n";
  for (int i = 0; i < kViewers; i += 3) SendFor(viewers[i], head + "\r\n", std::chrono::seconds(1));
  std::atomic<bool> trickling{true};
  std::thread trickler([&] {
    for (std::size_t at = 0; trickling && at < head.size(); ++at) {
      for (int i = 1; i < kViewers; i += 3) send(viewers[i], &head[at], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  httplib::Client view("127.0.0.1", port);
  view.set_bearer_token_auth(token);
  const auto asked = Clock::now();
  auto metrics = view.Get("/metrics");
  const double waited = SecondsSince(asked);
  // No ASSERT while the trickler runs: it must be joined whatever happens.
  EXPECT_TRUE(metrics) << "no answer to /metrics behind slow viewers";
  EXPECT_EQ(metrics ? metrics->status : 0, 200);
  // Well before any slow viewer's head deadline (5 s) could have freed a thread.
  EXPECT_LT(waited, 1.5) << "the metrics waited " << waited << " s behind slow viewers";

  // SIGTERM while they all still hang: the power-off notice goes out and the daemon ends
  // without waiting for them.
  const auto stopped = Clock::now();
  const int status = minerd->Stop(SIGTERM);
  const double closing = SecondsSince(stopped);
  trickling = false;
  trickler.join();
  EXPECT_EQ(ExitCodeOf(status), 0);
  EXPECT_LT(closing, 3.0) << "the close took " << closing << " s";
  EXPECT_EQ(Notices(), (std::vector<int>{1, 0}));
  // The notice "off" is the last thing the service heard from this machine.
  const std::string log = ReadFileBytes(serviceOptions.stderrPath);
  const auto last = log.rfind(" GET /");
  ASSERT_NE(last, std::string::npos) << log;
  EXPECT_EQ(log.compare(last, 34, " GET /Machine/UpdateOnOff.html 200"), 0) << log.substr(last);
  for (int fd : viewers) close(fd);
}

// A NUL byte cuts the target short for the routes, so "/dashboard\0anything" would be
// the dashboard: the view refuses it, with the token or without.
TEST_F(ViewDoors, ANulInTheTargetIsRefused) {
  StartWithView();
  const std::string token = Token();
  const std::string headers = " HTTP/1.1\r\n" + HostLine() + "Authorization: Bearer " + token + "\r\n\r\n";
  for (const std::string& target : {std::string("/dashboard") + '\0' + "x", std::string("/metrics") + '\0',
                                    std::string("/dashboard%00")}) {
    const int fd = loopback::Connect(port);
    ASSERT_GE(fd, 0);
    std::string request = "GET " + target;
    request += headers;
    SendFor(fd, request, std::chrono::seconds(2));
    const std::string reply = ReadUntilClosed(fd, std::chrono::seconds(5));
    close(fd);
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 400") << reply.substr(0, 200);
    EXPECT_EQ(reply.find(kSerial), std::string::npos) << reply;
  }
  // Each refusal is in the daemon's log, the NUL shown.
  for (const char* line : {"view: GET /dashboard\\x00 400 refused (127.0.0.1)\n",
                           "view: GET /metrics\\x00 400 refused (127.0.0.1)\n",
                           "view: GET /dashboard%00 400 refused (127.0.0.1)\n"}) {
    EXPECT_TRUE(
        WaitUntil([&] { return ReadFileBytes(box.File("minerd.log")).find(line) != std::string::npos; },
                  std::chrono::seconds(5)))
        << line << " in:\n"
        << ReadFileBytes(box.File("minerd.log"));
  }
}

// With --per-address-limit N the view keeps N connections from 127.0.0.1 and closes the
// next one at once, unanswered, and says so in its log.
TEST_F(ViewDoors, APerAddressLimitClosesTheConnectionBeyondIt) {
  minerd = Launch({"--listen", "127.0.0.1:0", "--per-address-limit", "2"});
  ASSERT_TRUE(minerd->Start()) << minerd->StartError();
  port = minerd->ViewPort();
  ASSERT_GT(port, 0) << minerd->FirstLine();
  const std::string request =
      "GET /dashboard HTTP/1.1\r\n" + HostLine() + "Authorization: Bearer " + Token() + "\r\n\r\n";
  std::vector<int> open;
  for (int i = 0; i < 2; ++i) {
    open.push_back(loopback::Connect(port));
    ASSERT_GE(open.back(), 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int third = loopback::Connect(port);
  ASSERT_GE(third, 0);
  SendFor(third, request, std::chrono::seconds(2));
  EXPECT_EQ(ReadUntilClosed(third, std::chrono::seconds(3)), "");
  close(third);
  SendFor(open[0], request, std::chrono::seconds(2));
  EXPECT_EQ(ReadUntilClosed(open[0], std::chrono::seconds(5)).substr(0, 12), "HTTP/1.1 200");
  for (int fd : open) close(fd);
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFileBytes(box.File("minerd.log")).find("view: - - - closed: connection limit") !=
           std::string::npos;
  })) << ReadFileBytes(box.File("minerd.log"));
}

}  // namespace
