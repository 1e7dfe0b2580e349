// A whole session of the Windows client without a window against the real mining
// service, which the test driver runs on 127.0.0.1 (scripts/test-windows): the record is
// fetched with WinINet into the system's temporary folder, the MAC text comes from the
// system's adapter list, and the offered version's installer, signed by the minisign
// program with the key the driver passes in KESTRAVON_TEST_UPDATE_KEY, is downloaded into
// the install folder, verified and started through the shell.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/control_ids.h"
#include "platform/adapters.h"
#include "platform/temp_path.h"
#include "support/client_fixture.h"

namespace {

std::string ServiceRoot() {
  const char* root = std::getenv("KESTRAVON_TEST_SERVICE_ROOT");
  return root != nullptr ? root : "";
}

TEST(LiveServiceTest, SessionReportAndSelfUpdateWithTheSystemsOwnServices) {
  if (ServiceRoot().empty()) GTEST_SKIP() << "KESTRAVON_TEST_SERVICE_ROOT names no running service";
  ClientFixture client(ServiceRoot());
  client.env.macText = [] { return GetMacText(); };
  client.env.tempDir = TempFolderPath();
  const char* key = std::getenv("KESTRAVON_TEST_UPDATE_KEY");
  ASSERT_NE(key, nullptr) << "KESTRAVON_TEST_UPDATE_KEY names no key";
  client.env.updatePublicKey = key;
  MinerCore core(client.env, client.window);
  client.WriteConfig("KST-DEMO-0001", "0.216");

  core.StartSession();
  EXPECT_EQ(client.window.Text(kIdSerialNo), "KST-DEMO-0001");
  EXPECT_EQ(client.window.Text(kIdMacText), GetMacText());
  EXPECT_EQ(client.window.Text(kIdFuel), "250 / 300 gas");
  EXPECT_EQ(client.window.Text(kIdServerVersion), "0.300");
  EXPECT_EQ(client.window.Text(kIdClientVersion), "0.216");
  const std::string events = client.window.Pane(LogPane::kEvent);
  EXPECT_EQ(events.substr(events.size() - 17), " Start Mining..\r\n") << events;
  // The reply stayed in the temporary folder, where the reading path found it.
  EXPECT_NE(ReadFileBytes(TempFolderPath() + "qx_sn.dat").find("[Machine]"), std::string::npos);
  EXPECT_TRUE(WaitUntil(
      [&] { return client.window.Pane(LogPane::kMining).find("Mining complete") != std::string::npos; }));

  // One report: the service takes a unit of fuel and offers 0.300, whose installer (the
  // tests' child program) is put in place and started with "/VerySilent".
  client.NextPassReports();
  ASSERT_TRUE(WaitUntil([&] { return core.Snapshot().fuel == 249; }, std::chrono::seconds(20)));
  const std::string report = client.InstallDir() + "\\child_ran.txt";
  ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(report).find("arg=/VerySilent") != std::string::npos; },
                        std::chrono::seconds(20)));
  core.Stop();
  EXPECT_EQ(client.ConfigText(), "[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.300\r\n");
  EXPECT_STREQ(core.Snapshot().clientVersion, "0.216");
  EXPECT_EQ(core.Snapshot().onOff, 1);

  core.EndSession();
}

}  // namespace
