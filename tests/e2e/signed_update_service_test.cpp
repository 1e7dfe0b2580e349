// Signed self-update against the real mining-service: only an installer whose signature,
// made by the minisign program with the key built into the client, names the offered
// version is started, and only once per run. Unsigned, forged and replayed installers
// start nothing and leave config.ini as it was; each of them is tried again by the next
// report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/client_fixture.h"
#include "support/mining_service_process.h"
#include "support/minisign_signer.h"

namespace {

constexpr const char* kOldConfig = "[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.216\r\n";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

struct SignedUpdateService : ::testing::Test {
  Sandbox box;
  MiningServiceOptions options;
  std::unique_ptr<MiningServiceProcess> service;
  std::unique_ptr<ClientFixture> client;
  std::string installer;  // its path in the service's patch folder
  std::string record;     // each start of the installer adds a line here
  std::string secretKey;
  std::string publicKeyLine;

  void SetUp() override {
    // A key made by the minisign program; the client gets its public key line.
    secretKey = box.File("minisign.key");
    const std::string pub = box.File("minisign.pub");
    ASSERT_EQ(std::system(
                  ("minisign -G -W -p " + Quoted(pub) + " -s " + Quoted(secretKey) + " >/dev/null").c_str()),
              0)
        << "minisign is missing: run scripts/setup";
    const std::string pubFile = ReadFileBytes(pub);
    const std::size_t start = pubFile.find('\n') + 1;
    publicKeyLine = pubFile.substr(start, pubFile.find('\n', start) - start);

    options.binary = KESTRAVON_SERVICE_BIN;
    options.databasePath = box.File("service.db");
    options.patchDir = box.MakeDir("patch");
    options.clientVersion = "0.300";
    options.boostEvery = 0;
    options.stderrPath = box.File("requests.log");
    service = std::make_unique<MiningServiceProcess>(options);
    ASSERT_TRUE(service->Start()) << service->StartError();

    record = box.File("installer-ran");
    installer = options.patchDir + "/patchv2.exe";
    WriteFileBytes(installer, "#!/bin/sh\nprintf '%s|%s\\n' \"$1\" \"$(pwd)\" >> " + Quoted(record) + "\n");
  }

  // A new run of the client, with its session started; the previous one is closed.
  void NewRun() {
    if (client) {
      client->Core().Stop();
      client->Core().EndSession();
    }
    client = std::make_unique<ClientFixture>(service->BaseUrl());
    client->env.updatePublicKey = publicKeyLine;
    client->RebuildCore();
    client->WriteConfig("KST-DEMO-0001", "0.216");
    client->Core().StartSession();
  }

  void SignWithTool(const std::string& version) {
    ASSERT_EQ(std::system((std::string(KESTRAVON_SOURCE_DIR) + "/scripts/sign-patch " + Quoted(installer) +
                           " " + version + " " + Quoted(secretKey) + " >/dev/null")
                              .c_str()),
              0);
  }

  int RefusalLines() const {
    int n = 0;
    for (const std::string& t : client->debug.Texts()) n += t.rfind("Self-update: ", 0) == 0;
    return n;
  }
  int PatchDownloads() const { return CountOf(ReadFileBytes(options.stderrPath), " /patch/patchv2.exe 200"); }

  // Lets exactly one pass of the worker report, and waits until its self-update is over.
  void ReportOnce(const std::function<bool()>& done) {
    client->NextPassReports();
    ASSERT_TRUE(WaitUntil(done));
  }

  // One more report, answered (the service takes a unit of fuel for each).
  void AnsweredReport() {
    const int fuelBefore = client->Core().Snapshot().fuel;
    ReportOnce([&] { return client->Core().Snapshot().fuel == fuelBefore - 1; });
  }
};

}  // namespace

TEST_F(SignedUpdateService, OnlyTheSignedInstallerForTheOfferedVersionIsStartedAndOnlyOnce) {
  struct Refused {
    const char* name;
    std::function<void()> prepare;
  } refused[] = {
      {"unsigned", [] {}},
      {"forged: signed by another key",
       [&] {
         MinisignSigner other;
         WriteFileBytes(installer + ".minisig", other.Sign(ReadFileBytes(installer), "version:0.300"));
       }},
      {"replayed: a real signature for an older version", [&] { SignWithTool("0.216"); }},
  };
  int downloads = 0;
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.name);
    NewRun();
    r.prepare();
    ReportOnce([&] { return RefusalLines() == 1; });
    EXPECT_EQ(client->ConfigText(), kOldConfig);
    EXPECT_FALSE(FileExists(client->InstallDir() + "/patch.exe"));
    EXPECT_FALSE(FileExists(client->InstallDir() + "/patch.exe.part"));
    EXPECT_FALSE(FileExists(record));
    EXPECT_EQ(PatchDownloads(), ++downloads);
    // The service keeps offering 0.300; this run does not fetch it again.
    AnsweredReport();
    EXPECT_EQ(PatchDownloads(), downloads);
    EXPECT_EQ(RefusalLines(), 1);
  }

  NewRun();
  SignWithTool("0.300");
  ReportOnce([&] { return FileExists(record); });
  EXPECT_TRUE(WaitUntil([&] { return client->ConfigText() != kOldConfig; }));
  EXPECT_EQ(client->ConfigText(), "[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.300\r\n");
  EXPECT_EQ(ReadFileBytes(client->InstallDir() + "/patch.exe"), ReadFileBytes(installer));
  EXPECT_EQ(PatchDownloads(), downloads + 1);

  // The service keeps offering 0.300; the next report fetches and starts nothing more.
  AnsweredReport();
  client->Core().Stop();
  EXPECT_EQ(PatchDownloads(), downloads + 1);
  EXPECT_EQ(ReadFileBytes(record), "/VerySilent|" + client->InstallDir() + "\n");
  EXPECT_STREQ(client->Core().Snapshot().clientVersion, "0.216");
  client->Core().EndSession();
}
