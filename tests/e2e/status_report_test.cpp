// The status report against a scripted service on 127.0.0.1: the request it sends, how
// it applies the answer, and what it does when no proper answer arrives.
#include <gtest/gtest.h>

#include <cstring>

#include "exchange/request_urls.h"
#include "support/client_fixture.h"
#include "support/scripted_http_server.h"

namespace {

constexpr const char* kReport = "/Machine/UpdateInfov2.html";

std::string StatusBody(const std::string& codeLine, const std::string& version = "0.216") {
  return "[Machine]\r\nFuel=249\r\nKEST=26.5\r\n" + codeLine + "[Version]\r\nServer=" + version + "\r\n";
}

struct ReportFixture : ::testing::Test {
  ScriptedHttpServer server;
  ClientFixture client{server.Root()};

  void SetUp() override {
    client.Core().WithState([](MachineState& s) {
      std::strcpy(s.serialNo, "KST-0001");
      std::strcpy(s.clientVersion, "0.216");
      std::strcpy(s.machineName, "Digger");
      s.onOff = 1;
      s.level = 3;
      s.fuel = 250;
      s.exp = 512;
      s.miningPerSec = 0.0123;
      s.location = 37.5;
      s.machineKest = 25;
      s.boost = 0.25;
    });
  }

  // Runs one report that passes its gate at hh:mm.
  void ReportAt(int hour, int minute) {
    client.clock.SetLocalTime(hour, minute, 7, 2);
    client.random.Queue({40 * 7 + 3});  // draw % 40 == 3: the gate opens
    client.Core().ReportStatus();
  }
};

}  // namespace

TEST_F(ReportFixture, SendsTheFiguresWithTheAmountScrambledByTheClock) {
  server.Route(kReport, Reply::Ok("[Machine]\r\nFuel=249\r\nKEST=25\r\nCode=1000\r\n"));
  ReportAt(10, 12);
  ReportAt(13, 33);
  ASSERT_EQ(server.RequestCount(), 2u);
  const auto requests = server.Requests();
  EXPECT_EQ(requests[0].target,
            "/Machine/UpdateInfov2.html?sn=KST-0001&Mac=00-1A-2B-3C-4D-5E&exp=512&mps=0.012300"
            "&locate=37.500000&mci_kest=25.000000&cry=38379%3B%3D%3FA");
  EXPECT_NE(requests[1].target.find("&mci_kest=25.000000&cry=5936789%3A%3B"), std::string::npos)
      << requests[1].target;
  EXPECT_EQ(requests[0].Header("User-Agent").value_or(""), "Mozilla/4.0 ()");
  // Each request is traced, then a line end in a second write.
  const auto traces = client.debug.Texts();
  ASSERT_EQ(traces.size(), 4u);
  EXPECT_EQ(traces[0], server.Root() + requests[0].target);
  EXPECT_EQ(traces[1], "\r\n");
}

TEST_F(ReportFixture, ClosedGateSendsAndChangesNothing) {
  server.Route(kReport, Reply::Ok(StatusBody("Code=0\r\n")));
  for (int draw : {4, 39, 44, 32767}) {
    client.random.Queue({draw});
    client.Core().ReportStatus();
  }
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_TRUE(client.debug.Texts().empty());
  EXPECT_EQ(client.Core().Snapshot().onOff, 1);
  EXPECT_TRUE(client.window.Operations().empty());
  EXPECT_FALSE(FileExists(client.TempFile("qx_ui.dat")));
}

TEST_F(ReportFixture, AnswerSetsFuelAmountBoostAndMaySwitchOff) {
  struct Case {
    std::string codeLine;
    double boost;
    bool off;
  } cases[] = {
      {"", 0, true},
      {"Code=0\r\n", 0, true},
      {"Code=1000\r\n", 0, false},
      {"Code=3021\r\n", 0.0000003021, false},
      {"Code=30210000\r\n", 0.003021, false},
      {"Code=-3021\r\n", -0.0000003021, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codeLine);
    client.Core().WithState([](MachineState& s) {
      s.onOff = 1;
      s.boost = 0.25;
    });
    client.window.SetPaneText(LogPane::kEvent, "");
    server.Route(kReport, Reply::Ok(StatusBody(c.codeLine)));
    ReportAt(12, 3);
    const MachineState s = client.Core().Snapshot();
    EXPECT_EQ(s.fuel, 249);
    EXPECT_DOUBLE_EQ(s.machineKest, 26.5);
    EXPECT_DOUBLE_EQ(s.boost, c.boost);
    EXPECT_EQ(s.onOff, c.off ? 0 : 1);
    EXPECT_EQ(client.window.Pane(LogPane::kEvent), c.off ? "Server Disconnected...\r\n" : "");
    EXPECT_EQ(client.window.Text(kIdFuel), "249 / 300 gas");
    EXPECT_EQ(client.window.Text(kIdMachineKest), "26.500000");  // the dashboard was refreshed
    EXPECT_EQ(client.window.Text(kIdStartStop), c.off ? "START" : "STOP");
  }
}

TEST_F(ReportFixture, NoProperAnswerKeepsFiguresAndSwitchesOff) {
  // An earlier answer is still on disk; it must not be applied again.
  WriteFileBytes(client.TempFile("qx_ui.dat"), StatusBody("Code=30210000\r\n", "9.999"));
  struct Case {
    const char* name;
    Reply reply;
  } cases[] = {
      {"404 page", Reply::Status(404, "<html>Not Found</html>")},
      {"500 page", Reply::Status(500, "<html>[Machine]\r\nFuel=1\r\nCode=1000\r\n</html>")},
      {"cut body", Reply::Cut(StatusBody("Code=1000\r\n"), 10)},
      {"200 page that is no reply", Reply::Ok("<html><body>Sign in to the network</body></html>")},
      {"50 MB of bytes", Reply::Generated(50u << 20)},
      {"closed at once", Reply::CloseAtOnce()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    client.Core().WithState([](MachineState& s) {
      s.onOff = 1;
      s.boost = 0.25;
      s.fuel = 250;
      s.machineKest = 25;
    });
    client.window.SetPaneText(LogPane::kEvent, "");
    server.Route(kReport, c.reply);
    ReportAt(12, 3);
    const MachineState s = client.Core().Snapshot();
    EXPECT_EQ(s.fuel, 250);
    EXPECT_DOUBLE_EQ(s.machineKest, 25);
    EXPECT_DOUBLE_EQ(s.boost, 0);
    EXPECT_EQ(s.onOff, 0);
    EXPECT_STREQ(s.serverVersion, "");
    EXPECT_EQ(client.window.Pane(LogPane::kEvent), "Server Disconnected...\r\n");
    EXPECT_EQ(client.window.Text(kIdFuel), "250 / 300 gas");
  }
  EXPECT_FALSE(FileExists(client.InstallDir() + "/patch.exe"));
}

TEST_F(ReportFixture, UnreachableServiceSwitchesOffWithoutTouchingTheOldReply) {
  ClientFixture offline("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()));
  WriteFileBytes(offline.TempFile("qx_ui.dat"), "old answer");
  offline.Core().WithState([](MachineState& s) {
    s.onOff = 1;
    s.fuel = 7;
  });
  offline.random.Queue({0});
  offline.clock.SetLocalTime(12, 3, 7, 2);
  offline.Core().ReportStatus();
  EXPECT_EQ(offline.Core().Snapshot().onOff, 0);
  EXPECT_EQ(offline.Core().Snapshot().fuel, 7);
  EXPECT_EQ(ReadFileBytes(offline.TempFile("qx_ui.dat")), "old answer");
  EXPECT_EQ(offline.window.Pane(LogPane::kEvent), "Server Disconnected...\r\n");
}
