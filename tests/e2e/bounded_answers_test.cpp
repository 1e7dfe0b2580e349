// Answers that never end: a reply of 2 GB and one that trickles in a byte at a time
// without ever going silent long enough for the idle limit. With the limits shortened
// through the environment, each exchange ends within its cap or deadline, counts as no
// answer, and Start/Stop answers at once while the report is under way.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "support/client_fixture.h"
#include "support/scripted_http_server.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kRecord =
    "[Version]\r\nServer=0.216\r\n[Return]\r\nCount=1\r\n[Machine]\r\nName=Digger\r\nLevel=3\r\n"
    "Fuel=250\r\nOnOff=1\r\nKEST=25\r\n";

double Seconds(SteadyClock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Endless {
  const char* name;
  Reply reply;
};

Reply Trickle() {
  // A valid answer that would take minutes: 1 byte every 700 ms, never 1 s of silence.
  return Reply::Drip("[Machine]\r\nFuel=1\r\nKEST=2\r\nCode=3021\r\n", 700ms);
}

Reply TwoGigabytes(bool announced) {
  Reply r = Reply::Generated(2ull << 30);
  r.sendContentLength = announced;
  return r;
}

FetchLimits ShortLimits() {
  FetchLimits limits = ReplyLimits();
  limits.idleTimeout = std::chrono::seconds(1);
  limits.totalTimeout = std::chrono::milliseconds(3000);
  return limits;
}

}  // namespace

// The record, then a section of filler lines that brings the body to exactly `size` bytes.
std::string PaddedRecord(std::size_t size) {
  std::string body = std::string(kRecord) + "[Pad]\r\n";
  while (body.size() < size) {
    const std::size_t left = size - body.size();
    // "P=" + filler + CRLF; a last line of fewer than 4 bytes would have no room for them.
    const std::size_t line = left >= 68 ? 64 : left;
    body += "P=" + std::string(line - 4, 'x') + "\r\n";
  }
  return body;
}

struct CapCase {
  const char* name;
  std::size_t size;
  bool announced;
  bool applied;
};

// With the client's own limits, a machine-information reply of exactly 1 MiB is read and
// applied; a byte more counts as no answer, announced or not, and no more than 1 MiB of it
// is kept.
TEST(BoundedAnswers, TheClientsOwnCapTakesOneMebibyteAndNotAByteMore) {
  const CapCase cases[] = {{"exactly 1 MiB", 1u << 20, true, true},
                           {"1 MiB and a byte, announced", (1u << 20) + 1, true, false},
                           {"1 MiB and a byte, unannounced", (1u << 20) + 1, false, false}};
  for (const CapCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string body = PaddedRecord(c.size);
    ASSERT_EQ(body.size(), c.size);
    Reply reply = Reply::Ok(body);
    reply.sendContentLength = c.announced;
    ScriptedHttpServer server;
    server.Route("/Machine/GetData.html", reply);
    server.SetDefault(Reply::Ok("ok"));
    ClientFixture client(server.Root());
    ASSERT_EQ(client.env.replyLimits.maxBodyBytes, ReplyLimits().maxBodyBytes) << "the client's own limits";
    MinerCore core(client.env, client.window);
    core.StartSession();
    EXPECT_EQ(core.Snapshot().level, c.applied ? 3 : 0);
    EXPECT_LE(ReadFileBytes(client.TempFile("qx_sn.dat")).size(), 1u << 20);
    core.EndSession();
    core.Stop();
  }
}

TEST(BoundedAnswers, HugeOrTricklingAnswersEndInTimeAndAreNotApplied) {
  const Endless cases[] = {{"2 GB announced", TwoGigabytes(true)},
                           {"2 GB unannounced", TwoGigabytes(false)},
                           {"trickle", Trickle()}};
  for (const Endless& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server;
    server.Route("/Machine/GetData.html", c.reply);
    server.Route("/Machine/UpdateInfov2.html", c.reply);
    server.SetDefault(Reply::Ok("ok"));
    ClientFixture client(server.Root());
    client.env.replyLimits = ShortLimits();
    MinerCore core(client.env, client.window);

    auto t0 = SteadyClock::now();
    core.StartSession();
    const double startup = Seconds(SteadyClock::now() - t0);
    EXPECT_LT(startup, 20.0);
    EXPECT_EQ(core.Snapshot().level, 0) << "the machine information was applied";

    // A report meets the same answer while the window's thread toggles mining.
    // Every pass reports: the report's switch-off may land between the two toggles (a
    // capped answer ends at once), and the next report must then still switch mining off.
    client.clock.SetLocalTime(12, 3, 7, 2);
    client.random.SetFallback(0);
    core.WithState([](MachineState& s) {
      s.fuel = 250;
      s.machineKest = 25;
      s.onOff = 1;
    });
    ASSERT_TRUE(server.WaitForRequests(3, 20s));
    t0 = SteadyClock::now();
    core.ToggleMining();
    core.ToggleMining();
    const double toggles = Seconds(SteadyClock::now() - t0);
    EXPECT_LT(toggles, 1.0);
    t0 = SteadyClock::now();
    ASSERT_TRUE(WaitUntil([&] { return core.Snapshot().onOff != 1; }, 20s));
    const double report = Seconds(SteadyClock::now() - t0);
    const MachineState s = core.Snapshot();
    EXPECT_EQ(s.fuel, 250);
    EXPECT_EQ(s.boost, 0);
    EXPECT_LE(ReadFileBytes(client.TempFile("qx_ui.dat")).size(), 1u << 20);

    t0 = SteadyClock::now();
    core.EndSession();
    core.Stop();
    const double close = Seconds(SteadyClock::now() - t0);
    EXPECT_LT(close, 20.0);
    std::printf("%s: start-up %.2f s, two toggles %.4f s, report ended %.2f s later, close %.2f s\n", c.name,
                startup, toggles, report, close);
  }
}
