// Connections that end without an answer of the service's (refused by the engine, cut at
// the head deadline, closed by the peer, over a connection limit) each leave one line in
// the request log, and a flood of them costs the log a bounded number of lines.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service_fixture.h"
#include "support/loopback_socket.h"
#include "support/raw_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* kInfo = "/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x";

std::vector<std::string> ClosedLines(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find(" closed: ") != std::string::npos) lines.push_back(line);
  }
  return lines;
}

class UnansweredLog : public ServiceTest {
 protected:
  // The "closed:" lines once at least `count` are there (or 10 s have passed).
  std::vector<std::string> WaitForClosedLines(std::size_t count) {
    const auto until = Clock::now() + std::chrono::seconds(10);
    std::vector<std::string> lines = ClosedLines(LogText());
    while (lines.size() < count && Clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      lines = ClosedLines(LogText());
    }
    return lines;
  }
};

TEST_F(UnansweredLog, EachConnectionEndedWithoutAnAnswerLeavesOneLine) {
  options_.extraArgs = {"--head-timeout-ms", "1000"};
  StartService();
  const int port = service_->Port();
  const std::string get = std::string("GET ") + kInfo + " HTTP/1.1\r\n";
  // Sends `bytes`, then closes (close = true) or waits for the service to close.
  auto send = [port](const std::string& bytes, bool closeFirst) {
    const int fd = loopback::Connect(port);
    if (fd < 0) return;
    SendFor(fd, bytes, std::chrono::seconds(2));
    if (!closeFirst) ReadUntilClosed(fd, std::chrono::seconds(5));
    close(fd);
  };
  struct Case {
    const char* what;
    std::function<void()> act;
    const char* line;  // what the new line says after its time stamp
  };
  const std::vector<Case> cases = {
      {"a request line too long",
       [&] { send("GET /" + std::string(17000, 'a') + " HTTP/1.1\r\n\r\n", false); },
       " - - 414 closed: too large (127.0.0.1)"},
      {"a header line too long", [&] { send(get + "X: " + std::string(17000, 'a') + "\r\n\r\n", false); },
       // The library refuses it before the method is handed on.
       " - /Machine/GetData.html 431 closed: too large (127.0.0.1)"},
      {"a request line that never ends", [&] { send("GET /Machine/GetDa", false); },
       " - - - closed: head timeout (127.0.0.1)"},
      {"header lines that never end", [&] { send(get + "Host: a\r\n", false); },
       " - /Machine/GetData.html - closed: head timeout (127.0.0.1)"},
      {"a peer that leaves within its request line", [&] { send("GET /Machine/Get", true); },
       " - - - closed: closed by peer (127.0.0.1)"},
      {"a peer that leaves without a byte", [&] { send("", true); },
       " - - - closed: closed by peer (127.0.0.1)"},
  };
  std::size_t before = 0;
  for (const Case& c : cases) {
    c.act();
    const std::vector<std::string> lines = WaitForClosedLines(before + 1);
    ASSERT_EQ(lines.size(), before + 1) << c.what << "\n" << LogText();
    // "YYYY-MM-DD HH:MM:SS" and then what ended the connection.
    EXPECT_EQ(lines.back().substr(19), c.line) << c.what;
    before = lines.size();
  }
  // Answered requests keep their line and get no second one.
  ASSERT_EQ(Get(kInfo).status, 200);
  ASSERT_EQ(RawExchange(port, "POST /x HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi").substr(0, 12),
            "HTTP/1.1 405");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string log = LogText();
  EXPECT_NE(log.find(" GET /Machine/GetData.html 200\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" POST /x 405\n"), std::string::npos) << log;
  EXPECT_EQ(ClosedLines(log).size(), before) << log;
  // The query (serial number and MAC) never reaches these lines.
  EXPECT_EQ(log.find("KST-DEMO-0001&"), std::string::npos) << log;
}

TEST_F(UnansweredLog, AFloodOfRefusedConnectionsIsCountedNotLoggedOneByOne) {
  StartService();
  const int port = service_->Port();
  constexpr int kFlood = 300;
  const auto start = Clock::now();
  for (int i = 0; i < kFlood; ++i) {
    const int fd = loopback::Connect(port);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  // Every one is accounted for, by a line of its own or in a count.
  const std::regex summary(R"( - - - closed: (\d+) more in the last second, not logged one by one$)");
  std::size_t single = 0;
  std::size_t counted = 0;
  std::size_t summaries = 0;
  const auto until = Clock::now() + std::chrono::seconds(10);
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    single = counted = summaries = 0;
    for (const std::string& line : ClosedLines(LogText())) {
      std::smatch m;
      if (std::regex_search(line, m, summary)) {
        counted += std::stoul(m[1]);
        ++summaries;
      } else {
        EXPECT_NE(line.find(" closed: closed by peer (127.0.0.1)"), std::string::npos) << line;
        ++single;
      }
    }
  } while (single + counted < kFlood && Clock::now() < until);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(single + counted, static_cast<std::size_t>(kFlood));
  EXPECT_GE(summaries, 1u);
  // At most 20 lines of their own a second.
  EXPECT_LE(single, 20 * (static_cast<std::size_t>(seconds) + 1)) << seconds << " s";
}

TEST_F(UnansweredLog, APerAddressLimitClosesTheConnectionBeyondIt) {
  options_.extraArgs = {"--per-address-limit", "3", "--head-timeout-ms", "20000"};
  StartService();
  const int port = service_->Port();
  std::vector<int> open;
  for (int i = 0; i < 3; ++i) {
    open.push_back(loopback::Connect(port));
    ASSERT_GE(open.back(), 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // all three taken
  // The fourth from 127.0.0.1 is closed at once, unanswered, while the three stay open.
  const auto asked = Clock::now();
  EXPECT_EQ(RawExchange(port, std::string("GET ") + kInfo + " HTTP/1.1\r\n\r\n"), "");
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - asked).count(), 2.0);
  SendFor(open[0], std::string("GET ") + kInfo + " HTTP/1.1\r\n\r\n", std::chrono::seconds(2));
  EXPECT_EQ(ReadUntilClosed(open[0], std::chrono::seconds(5)).substr(0, 12), "HTTP/1.1 200");
  // One place is free again.
  EXPECT_EQ(RawExchange(port, std::string("GET ") + kInfo + " HTTP/1.1\r\n\r\n").substr(0, 12),
            "HTTP/1.1 200");
  for (int fd : open) close(fd);
  const std::vector<std::string> lines = ClosedLines(LogText());
  ASSERT_FALSE(lines.empty()) << LogText();
  EXPECT_EQ(lines.front().substr(19), " - - - closed: connection limit") << LogText();
}

}  // namespace
