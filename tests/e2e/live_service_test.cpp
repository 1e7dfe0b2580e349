// Whole sessions of the client without a window against the real mining-service on
// 127.0.0.1, with a temporary database, install folder and temp folder.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/client_fixture.h"
#include "support/mining_service_process.h"
#include "support/minisign_signer.h"
#include "support/service_database.h"

namespace {

struct LiveFixture : ::testing::Test {
  Sandbox serviceBox;
  MiningServiceOptions options;
  std::unique_ptr<MiningServiceProcess> service;
  std::unique_ptr<ClientFixture> client;

  void StartService(const std::string& offeredVersion = "0.216") {
    options.binary = KESTRAVON_SERVICE_BIN;
    options.databasePath = serviceBox.File("service.db");
    options.patchDir = serviceBox.MakeDir("patch");
    options.clientVersion = offeredVersion;
    options.boostEvery = 0;
    options.stderrPath = serviceBox.File("requests.log");
    service = std::make_unique<MiningServiceProcess>(options);
    ASSERT_TRUE(service->Start()) << service->StartError();
    client = std::make_unique<ClientFixture>(service->BaseUrl());
    client->WriteConfig("KST-DEMO-0001", "0.216");
  }

  Rows Db(const std::string& sql) { return QueryServiceDatabase(options.databasePath, sql); }

  // Makes the worker's next pass a report that passes its gate.
  void NextPassReports() { client->NextPassReports(); }
};

}  // namespace

TEST_F(LiveFixture, StartReportAndEndAgainstTheService) {
  StartService();
  MinerCore& core = client->Core();
  core.StartSession();

  // The demo machine is on the dashboard, mining.
  EXPECT_EQ(client->window.Text(kIdSerialNo), "KST-DEMO-0001");
  EXPECT_EQ(client->window.Text(kIdMarsSector), "Mare Boreum quadrangle");
  EXPECT_EQ(client->window.Text(kIdFuel), "250 / 300 gas");
  EXPECT_EQ(client->window.Text(kIdLevel), "3");
  EXPECT_EQ(client->window.Text(kIdServerVersion), "0.216");
  const std::string events = client->window.Pane(LogPane::kEvent);
  EXPECT_EQ(events.rfind("Initialize..\r\nDownloading Machine Information..\r\n", 0), 0u) << events;
  EXPECT_EQ(events.substr(events.size() - 17), " Start Mining..\r\n");
  // The name arrives as code page 949 bytes (no UTF-8 lead bytes of Korean syllables).
  const std::string name = client->window.Text(kIdMachineName);
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.find('\xEC'), std::string::npos);

  // Start-up asked for the record, then said the client is on.
  Rows notices = Db("SELECT serial, on_off FROM power_notices ORDER BY id");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], (std::vector<std::string>{"KST-DEMO-0001", "1"}));
  EXPECT_TRUE(WaitUntil(
      [&] { return client->window.Pane(LogPane::kMining).find("Mining complete") != std::string::npos; }));

  // One report: the service accepts the scrambled amount and takes one unit of fuel.
  NextPassReports();
  ASSERT_TRUE(WaitUntil([&] { return core.Snapshot().fuel == 249; }));
  Rows reports = Db("SELECT serial, cry_ok, code, fuel_after FROM reports");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0][0], "KST-DEMO-0001");
  EXPECT_EQ(reports[0][1], "1");
  EXPECT_NE(reports[0][2], "0");
  EXPECT_EQ(reports[0][3], "249");
  EXPECT_EQ(core.Snapshot().onOff, 1);
  EXPECT_EQ(client->window.Text(kIdFuel), "249 / 300 gas");

  core.EndSession();
  core.Stop();
  notices = Db("SELECT on_off FROM power_notices ORDER BY id");
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[1][0], "0");
  EXPECT_EQ(ExitCodeOf(service->Stop()), 0);
}

// A client built without an update key never starts an installer, whatever the service
// offers; it does not even fetch one. (Signed updates: signed_update_service_test.cpp.)
TEST_F(LiveFixture, OfferedVersionWithoutABuiltInKeyStartsNothing) {
  StartService("0.300");
  const std::string record = serviceBox.File("installer-ran");
  WriteFileBytes(options.patchDir + "/patchv2.exe",
                 "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$(pwd)\" > '" + record + "'\n");
  client->Core().StartSession();
  NextPassReports();
  ASSERT_TRUE(WaitUntil([&] {
    for (const std::string& t : client->debug.Texts()) {
      if (t.rfind("Self-update: no usable update key", 0) == 0) return true;
    }
    return false;
  }));
  client->Core().Stop();
  EXPECT_FALSE(FileExists(record));
  EXPECT_FALSE(FileExists(client->InstallDir() + "/patch.exe"));
  EXPECT_EQ(client->ConfigText(), "[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.216\r\n");
  EXPECT_EQ(ReadFileBytes(options.stderrPath).find("/patch/"), std::string::npos);
}

TEST_F(LiveFixture, MissingPatchLeavesConfigAndInstallFolderAlone) {
  StartService("0.300");
  MinisignSigner key;
  client->env.updatePublicKey = key.PublicKeyLine();
  client->RebuildCore();
  client->Core().StartSession();
  NextPassReports();
  ASSERT_TRUE(WaitUntil([&] { return client->Core().Snapshot().fuel == 249; }));
  client->Core().Stop();
  EXPECT_EQ(client->ConfigText(), "[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.216\r\n");
  EXPECT_FALSE(FileExists(client->InstallDir() + "/patch.exe"));
  EXPECT_FALSE(FileExists(client->InstallDir() + "/patch.exe.part"));
}

TEST_F(LiveFixture, UnknownSerialGetsNoRecordAndMiningStaysOff) {
  StartService();
  client->WriteConfig("NO-SUCH-MACHINE", "0.216");
  client->Core().StartSession();
  const MachineState s = client->Core().Snapshot();
  EXPECT_STREQ(s.serverVersion, "0.216");
  EXPECT_EQ(s.onOff, 0);
  EXPECT_STREQ(s.machineName, "");
  EXPECT_EQ(client->window.Text(kIdStartStop), "START");
  EXPECT_EQ(client->window.Pane(LogPane::kEvent), "Initialize..\r\nDownloading Machine Information..\r\n");
  client->Core().Stop();
}

TEST_F(LiveFixture, CloseDuringReportsLeavesThePowerOffNoticeLast) {
  StartService();
  client->Core().StartSession();
  client->clock.SetLocalTime(12, 3, 7, 2);  // every pass reports
  client->random.SetFallback(0);            // and every gate opens
  ASSERT_TRUE(WaitUntil([&] { return std::stoi(Db("SELECT COUNT(*) FROM reports")[0][0]) >= 3; }));
  client->Core().EndSession();
  EXPECT_FALSE(client->Core().Running());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(ExitCodeOf(service->Stop()), 0);

  // The service's request log, in the order it answered: the notice ends it.
  std::vector<std::string> lines;
  std::istringstream log(ReadFileBytes(options.stderrPath));
  for (std::string line; std::getline(log, line);) {
    if (line.find(" GET /Machine/") != std::string::npos) lines.push_back(line);
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find(" GET /Machine/UpdateOnOff.html 200"), std::string::npos) << lines.back();
  EXPECT_EQ(PowerNoticesOf(options.databasePath, "KST-DEMO-0001"), (std::vector<int>{1, 0}));
  // And in the database: no report was stored after the notice.
  const Rows later =
      Db("SELECT COUNT(*) FROM reports WHERE received_at > "
         "(SELECT received_at FROM power_notices WHERE on_off = 0)");
  ASSERT_EQ(later.size(), 1u);
  EXPECT_EQ(later[0][0], "0");
}
