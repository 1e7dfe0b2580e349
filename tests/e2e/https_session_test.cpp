// Whole sessions of the client without a window against mining-service serving HTTPS on
// 127.0.0.1: with the test authority trusted, everything works as over plain HTTP; with an
// authority that did not sign the service's certificate, no exchange counts as an answer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/client_fixture.h"
#include "support/mining_service_process.h"
#include "support/minisign_signer.h"
#include "support/service_database.h"
#include "support/tls_fixtures.h"

namespace {

struct HttpsSessionFixture : ::testing::Test {
  Sandbox serviceBox;
  MiningServiceOptions options;
  std::unique_ptr<MiningServiceProcess> service;

  void StartService(const std::string& offeredVersion = "0.216") {
    const TlsServerFiles files = GoodServerFiles();
    options.binary = KESTRAVON_SERVICE_BIN;
    options.databasePath = serviceBox.File("service.db");
    options.patchDir = serviceBox.MakeDir("patch");
    options.clientVersion = offeredVersion;
    options.boostEvery = 0;
    options.stderrPath = serviceBox.File("requests.log");
    options.tlsCert = files.cert;
    options.tlsKey = files.key;
    service = std::make_unique<MiningServiceProcess>(options);
    ASSERT_TRUE(service->Start()) << service->StartError();
    ASSERT_EQ(service->BaseUrl().rfind("https://127.0.0.1:", 0), 0u);
  }
  // The patch comes from the other host name the certificate holds.
  std::string PatchRoot() const { return "https://localhost:" + std::to_string(service->Port()); }

  Rows Db(const std::string& sql) { return QueryServiceDatabase(options.databasePath, sql); }
};

}  // namespace

TEST_F(HttpsSessionFixture, TrustedServiceGivesTheRecordTakesTheNoticesAndServesThePatch) {
  StartService("0.300");
  const std::string record = serviceBox.File("installer-ran");
  const std::string installer = "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + "'\n";
  WriteFileBytes(options.patchDir + "/patchv2.exe", installer);
  // The installer and its signature both come over https from the patch host.
  MinisignSigner key;
  WriteFileBytes(options.patchDir + "/patchv2.exe.minisig", key.Sign(installer, "version:0.300"));
  ClientFixture client(service->BaseUrl(), PatchRoot(), TlsFixture("ca.pem"));
  client.env.updatePublicKey = key.PublicKeyLine();
  client.RebuildCore();
  client.WriteConfig("KST-DEMO-0001", "0.216");
  MinerCore& core = client.Core();
  core.StartSession();

  EXPECT_EQ(client.window.Text(kIdMarsSector), "Mare Boreum quadrangle");
  EXPECT_EQ(client.window.Text(kIdFuel), "250 / 300 gas");
  EXPECT_EQ(core.Snapshot().onOff, 1);
  EXPECT_EQ(client.window.Pane(LogPane::kEvent).find("Server Disconnected"), std::string::npos);
  EXPECT_EQ(PowerNoticesOf(options.databasePath, "KST-DEMO-0001"), std::vector<int>{1});

  // A report over https, whose offered version brings the installer from the patch host.
  client.NextPassReports();
  // The shell creates the file before it writes to it.
  ASSERT_TRUE(WaitUntil([&] { return !ReadFileBytes(record).empty(); }));
  core.Stop();
  EXPECT_EQ(ReadFileBytes(record), "/VerySilent");
  EXPECT_EQ(core.Snapshot().fuel, 249);
  EXPECT_EQ(client.ConfigText(), "[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.300\r\n");

  core.EndSession();
  EXPECT_EQ(PowerNoticesOf(options.databasePath, "KST-DEMO-0001"), (std::vector<int>{1, 0}));
}

TEST_F(HttpsSessionFixture, UntrustedServiceIsNoAnswerAndNothingIsApplied) {
  StartService();
  ClientFixture client(service->BaseUrl(), PatchRoot(), TlsFixture("other-ca.pem"));
  client.WriteConfig("KST-DEMO-0001", "0.216");
  // A record left by an earlier run must not stand in for the refused answer.
  WriteFileBytes(client.TempFile("qx_sn.dat"),
                 "[Return]\r\nCount=1\r\n[Machine]\r\nName=Stale\r\nOnOff=1\r\nFuel=99\r\n");
  MinerCore& core = client.Core();
  core.StartSession();

  EXPECT_EQ(client.window.Pane(LogPane::kEvent),
            "Initialize..\r\nDownloading Machine Information..\r\nServer Disconnected...\r\n");
  const MachineState s = core.Snapshot();
  EXPECT_EQ(s.onOff, 0);
  EXPECT_STREQ(s.machineName, "");
  EXPECT_EQ(s.fuel, 0);
  EXPECT_EQ(client.window.Text(kIdStartStop), "START");
  EXPECT_EQ(ReadFileBytes(client.TempFile("qx_sn.dat")).find("Mare Boreum"), std::string::npos);
  EXPECT_FALSE(FileExists(client.TempFile("qx_onoff.dat")));
  core.EndSession();
  core.Stop();
  // The refused handshakes carried no request: the service heard of no machine at all.
  EXPECT_TRUE(Db("SELECT serial FROM power_notices").empty());
  EXPECT_EQ(ExitCodeOf(service->Stop()), 0);
}
