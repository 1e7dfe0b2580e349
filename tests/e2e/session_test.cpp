// A whole session without a window, against a scripted service on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "profile/identity.h"
#include "support/client_fixture.h"
#include "support/scripted_http_server.h"

namespace {

constexpr const char* kGetData = "/Machine/GetData.html";
constexpr const char* kOnOff = "/Machine/UpdateOnOff.html";
constexpr const char* kReport = "/Machine/UpdateInfov2.html";

std::string MachineReply(int onOff, const std::string& name = "Digger") {
  return "[Version]\r\nServer=0.216\r\n[Return]\r\nCount=1\r\n[Coin]\r\nKEST=2\r\n"
         "[Machine]\r\nName=" +
         name + "\r\nLevel=2\r\nFuel=150\r\nOnOff=" + std::to_string(onOff) +
         "\r\nKEST=10\r\nTargetCoin=1\r\n[MARS]\r\nName=Diacria quadrangle\r\nActive_Machine=3\r\n";
}

struct SessionFixture : ::testing::Test {
  ScriptedHttpServer server;
  ClientFixture client{server.Root()};

  void SetUp() override {
    client.WriteConfig("KST-0001", "0.216");
    client.clock.SetCalendarSeconds(1765340000);
    server.Route(kOnOff, Reply::Ok("[Return]\r\nResult=1\r\n"));
  }
  std::vector<std::string> Targets() {
    std::vector<std::string> out;
    for (const auto& r : server.Requests()) out.push_back(r.target);
    return out;
  }
};

}  // namespace

TEST_F(SessionFixture, StartUpLogsDownloadsNotifiesAndStartsTheWorker) {
  server.Route(kGetData, Reply::Ok(MachineReply(1)));
  client.Core().StartSession();
  EXPECT_EQ(client.random.Seeds(), std::vector<uint32_t>{1765340000u});
  EXPECT_EQ(client.window.Pane(LogPane::kEvent),
            "Initialize..\r\nDownloading Machine Information..\r\nDigger Start Mining..\r\n");
  EXPECT_EQ(Targets(), (std::vector<std::string>{
                           "/Machine/GetData.html?sn=KST-0001&Mac=00-1A-2B-3C-4D-5E",
                           "/Machine/UpdateOnOff.html?sn=KST-0001&Mac=00-1A-2B-3C-4D-5E&OnOff=1"}));
  EXPECT_EQ(client.window.Text(kIdSerialNo), "KST-0001");
  EXPECT_EQ(client.window.Text(kIdMachineName), "Digger");
  EXPECT_EQ(client.window.Text(kIdFuel), "150 / 200 gas");
  EXPECT_TRUE(client.debug.Warnings().empty());                // an answered start-up warns of nothing
  EXPECT_EQ(client.window.CheckedRadio(), kIdTargetKest + 1);  // BTC
  EXPECT_TRUE(client.Core().Running());
  // Mining runs on the worker and shows on the dashboard.
  EXPECT_TRUE(WaitUntil(
      [&] { return client.window.Pane(LogPane::kMining).find("Mining complete") != std::string::npos; }));
  EXPECT_EQ(client.window.Text(kIdStartStop), "STOP");

  client.Core().EndSession();
  EXPECT_EQ(Targets().back(), "/Machine/UpdateOnOff.html?sn=KST-0001&Mac=00-1A-2B-3C-4D-5E&OnOff=0");
  client.Core().Stop();
  EXPECT_FALSE(client.Core().Running());
}

TEST_F(SessionFixture, StartLineOnlyForOnOffExactlyOneAndToggleCaptions) {
  for (int onOff : {0, 2}) {
    SCOPED_TRACE(onOff);
    ClientFixture c(server.Root());
    c.WriteConfig("KST-0001", "0.216");
    server.Route(kGetData, Reply::Ok(MachineReply(onOff, "")));
    c.Core().StartSession();
    EXPECT_EQ(c.window.Pane(LogPane::kEvent), "Initialize..\r\nDownloading Machine Information..\r\n");
    EXPECT_NE(Targets().back().find("&OnOff=1"), std::string::npos);  // always 1 at start-up
    EXPECT_TRUE(c.Core().Running());
    EXPECT_EQ(c.window.Text(kIdStartStop), "START");

    // The machine name is empty: the lines begin with the blank of the texts.
    c.window.SetPaneText(LogPane::kEvent, "");
    c.clock.SetLocalTime(12, 4, 7, 500);
    c.Core().ToggleMining();
    EXPECT_EQ(c.Core().Snapshot().onOff, 1);
    EXPECT_EQ(c.window.Pane(LogPane::kEvent), " Start Mining..\r\n");
    EXPECT_TRUE(c.window.Text(kIdStartStop) == "Stop" || c.window.Text(kIdStartStop) == "STOP");
    EXPECT_TRUE(WaitUntil([&] { return c.window.Text(kIdStartStop) == "STOP"; }));  // next step
    c.Core().ToggleMining();
    EXPECT_EQ(c.Core().Snapshot().onOff, 0);
    EXPECT_EQ(c.window.Pane(LogPane::kEvent), " Start Mining..\r\n Stop Mining..\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.window.Text(kIdStartStop), "Start");  // nothing re-renders while idle
    c.Core().Stop();
  }
}

TEST_F(SessionFixture, FailedDownloadKeepsTheClearedRecordAndGoesOn) {
  // A record left by an earlier run must not be shown as current.
  WriteFileBytes(client.TempFile("qx_sn.dat"), MachineReply(1, "Stale"));
  server.Route(kGetData, Reply::Status(500, "<html>error</html>"));
  client.Core().WithState([](MachineState& s) {
    s.level = 9;      // cleared by the start-up
    s.priceKest = 3;  // outside the cleared block: kept
  });
  client.Core().StartSession();
  const MachineState s = client.Core().Snapshot();
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.onOff, 0);
  EXPECT_STREQ(s.machineName, "");
  EXPECT_STREQ(s.serialNo, "KST-0001");
  EXPECT_DOUBLE_EQ(s.priceKest, 3);
  EXPECT_EQ(client.window.Pane(LogPane::kEvent),
            "Initialize..\r\nDownloading Machine Information..\r\nServer Disconnected...\r\n");
  EXPECT_EQ(client.window.Text(kIdMachineName), "");
  EXPECT_EQ(ReadFileBytes(client.TempFile("qx_sn.dat")), "<html>error</html>");  // saved as sent
  EXPECT_EQ(client.debug.Warnings().size(), 1u);  // an error page is no answer either
  EXPECT_NE(Targets().back().find("&OnOff=1"), std::string::npos);
  EXPECT_TRUE(client.Core().Running());
  client.Core().Stop();
}

TEST_F(SessionFixture, UnreachableServiceStillStartsAndEnds) {
  ClientFixture offline("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()));
  offline.WriteConfig("KST-0001", "0.216");
  offline.Core().StartSession();
  EXPECT_TRUE(offline.Core().Running());
  EXPECT_EQ(offline.window.Text(kIdSerialNo), "KST-0001");
  EXPECT_FALSE(FileExists(offline.TempFile("qx_sn.dat")));
  const auto traces = offline.debug.Texts();
  ASSERT_EQ(traces.size(), 2u);  // only the power notice is traced
  EXPECT_NE(traces[0].find("/Machine/UpdateOnOff.html?sn=KST-0001"), std::string::npos);
  // The user is warned apart from the debug output, naming the root that did not answer.
  const auto warnings = offline.debug.Warnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(offline.env.serviceRoot), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[0].find("systemctl --user start mining-service"), std::string::npos) << warnings[0];
  offline.Core().EndSession();
  offline.Core().Stop();
}

struct ConfigCase {
  const char* what;
  const char* configText;  // nullptr: no config.ini
  bool warned;
};

// A machine without a serial number still asks (with sn=), but the user is told which
// file lacks which line, before anything else.
TEST_F(SessionFixture, AMissingSerialNumberIsNamedWithItsFileAndLine) {
  const ConfigCase cases[] = {
      {"no config.ini", nullptr, true},
      {"no [SerialNo] section", "[Version]\r\nClient=0.216\r\n", true},
      {"an empty No=", "[SerialNo]\r\nNo=\r\n[Version]\r\nClient=0.216\r\n", true},
      {"a serial number", "[SerialNo]\r\nNo=KST-0001\r\n", false},
  };
  server.Route(kGetData, Reply::Ok(MachineReply(1)));
  for (const ConfigCase& c : cases) {
    SCOPED_TRACE(c.what);
    ClientFixture machine(server.Root());
    if (c.configText != nullptr) WriteFileBytes(machine.InstallDir() + "/config.ini", c.configText);
    machine.Core().StartSession();
    const auto warnings = machine.debug.Warnings();
    ASSERT_EQ(warnings.size(), c.warned ? 1u : 0u);
    if (c.warned) {
      EXPECT_NE(warnings[0].find("no serial number in " + ConfigPath(machine.InstallDir())),
                std::string::npos)
          << warnings[0];
      EXPECT_NE(warnings[0].find("\"[SerialNo]\" and \"No=<serial number>\""), std::string::npos)
          << warnings[0];
    }
    machine.Core().EndSession();
    machine.Core().Stop();
  }
}

TEST(NoAnswerAtStartUp, TheLocalServicesCommandOnlyForARootOnThisMachine) {
  const struct {
    const char* root;
    bool hint;
  } cases[] = {{"http://127.0.0.1:8216", true},   {"https://127.0.0.2", true},
               {"http://localhost:8216/", true},  {"https://[::1]:8216", true},
               {"https://mining.example", false}, {"http://localhost.example:8216", false},
               {"http://10.0.0.1:8216", false},   {"not a url", false}};
  for (const auto& c : cases) {
    const std::string text = NoAnswerAtStartUpText(c.root);
    EXPECT_EQ(text.rfind(std::string("no answer from the mining service at ") + c.root, 0), 0u) << text;
    EXPECT_EQ(text.find("systemctl --user start mining-service") != std::string::npos, c.hint) << c.root;
  }
}

TEST_F(SessionFixture, PowerOffNoticeGivesUpOnASilentService) {
  ScriptedHttpServer silent;
  silent.SetDefault(Reply::NeverAnswer());
  ClientFixture c(silent.Root());
  c.env.powerOffTimeout = std::chrono::milliseconds(1000);
  MinerCore core(c.env, c.window);
  const auto t0 = std::chrono::steady_clock::now();
  core.EndSession();
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::milliseconds(3000));
  EXPECT_TRUE(silent.WaitForRequests(1));
}

TEST_F(SessionFixture, StopDuringAHungReportEndsPromptly) {
  server.Route(kGetData, Reply::Ok(MachineReply(1)));
  server.Route(kReport, Reply::StallAfterHeaders());
  client.clock.SetLocalTime(12, 3, 7, 2);  // every pass is a report pass
  client.random.SetFallback(0);            // and every report passes its gate
  client.Core().StartSession();
  ASSERT_TRUE(server.WaitForRequests(3));  // the report is under way and stalls
  const auto t0 = std::chrono::steady_clock::now();
  client.Core().Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
}

TEST_F(SessionFixture, CloseInAReportMinuteSendsNothingAfterThePowerOffNotice) {
  server.Route(kGetData, Reply::Ok(MachineReply(1)));
  server.Route(kReport, Reply::Ok("[Machine]\r\nFuel=140\r\nKEST=11\r\nCode=3021\r\n"
                                  "[Version]\r\nServer=0.216\r\n"));
  client.clock.SetLocalTime(12, 3, 7, 2);  // every pass is a report pass
  client.random.SetFallback(0);            // and every report passes its gate
  client.Core().StartSession();
  ASSERT_TRUE(server.WaitForRequests(5));  // reports are flowing

  client.Core().EndSession();
  EXPECT_FALSE(client.Core().Running());
  // Whatever the worker was doing has ended; give a stray request time to show.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::vector<std::string> targets = Targets();
  ASSERT_GE(targets.size(), 5u);
  EXPECT_EQ(targets.back(), "/Machine/UpdateOnOff.html?sn=KST-0001&Mac=00-1A-2B-3C-4D-5E&OnOff=0");
  EXPECT_EQ(std::count_if(targets.begin(), targets.end(),
                          [](const std::string& t) { return t.find("&OnOff=0") != std::string::npos; }),
            1);
  // Nor does anything happen on the dashboard once the close began.
  const std::string mining = client.window.Pane(LogPane::kMining);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(client.window.Pane(LogPane::kMining), mining);
}

TEST_F(SessionFixture, PowerNoticeBodyIsSavedAndNeverRead) {
  // Whatever the service says to a power notice lands in qx_onoff.dat byte for byte and
  // changes nothing: not the record, not mining, not the version, not the panes.
  const std::string hostile =
      "[Machine]\r\nOnOff=0\r\nFuel=1\r\nKEST=999\r\nCode=0\r\n[Version]\r\nServer=9.99\r\n"
      "[Return]\r\nCount=0\r\n\x01\xFF";
  server.Route(kOnOff, Reply::Ok(hostile));
  server.Route(kGetData, Reply::Ok(MachineReply(1)));
  client.Core().StartSession();
  EXPECT_EQ(ReadFileBytes(client.TempFile("qx_onoff.dat")), hostile);
  const MachineState s = client.Core().Snapshot();
  EXPECT_EQ(s.onOff, 1);
  EXPECT_EQ(s.fuel, 150);
  EXPECT_DOUBLE_EQ(s.machineKest, 10);
  EXPECT_STREQ(s.serverVersion, "0.216");
  EXPECT_EQ(client.window.Pane(LogPane::kEvent),
            "Initialize..\r\nDownloading Machine Information..\r\nDigger Start Mining..\r\n");

  server.Route(kOnOff, Reply::Ok("off body"));
  client.Core().EndSession();
  EXPECT_EQ(ReadFileBytes(client.TempFile("qx_onoff.dat")), "off body");
  EXPECT_EQ(client.Core().Snapshot().fuel, 150);
  EXPECT_FALSE(FileExists(client.InstallDir() + "/patch.exe"));
}
