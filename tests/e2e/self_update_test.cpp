// Self-update through the status report: the installer is put in place and started only
// after a complete download of it and of a valid signature, and only once it has started
// is the offered version recorded. (The cases of the signature: tests/service.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "support/client_fixture.h"
#include "support/minisign_signer.h"
#include "support/scripted_http_server.h"

namespace {

constexpr const char* kReport = "/Machine/UpdateInfov2.html";
constexpr const char* kPatch = "/patch/patchv2.exe";
constexpr const char* kSignature = "/patch/patchv2.exe.minisig";

struct UpdateFixture : ::testing::Test {
  ScriptedHttpServer server;
  ClientFixture client{server.Root()};
  std::string record;  // where the test installer writes what it was started with
  MinisignSigner key;

  void SetUp() override {
    record = client.box.File("installer-ran");
    client.env.updatePublicKey = key.PublicKeyLine();
    client.RebuildCore();
    server.Route(kSignature, Reply::Ok(key.Sign(Installer(), "version:0.217")));
    client.WriteConfig("KST-0001", "0.216");
    client.Core().WithState([](MachineState& s) {
      std::strcpy(s.serialNo, "KST-0001");
      std::strcpy(s.clientVersion, "0.216");
      s.onOff = 1;
      s.level = 1;
    });
    server.Route(kReport, Reply::Ok("[Machine]\r\nFuel=9\r\nKEST=1\r\nCode=1000\r\n"
                                    "[Version]\r\nServer=0.217\r\n"));
  }

  std::string Installer() const {
    return "#!/bin/sh\nprintf '%s|%s|%s' \"$#\" \"$1\" \"$(pwd)\" > '" + record + "'\n";
  }

  void Report() {
    client.random.Queue({0});
    client.clock.SetLocalTime(12, 3, 7, 2);
    client.Core().ReportStatus();
  }
};

}  // namespace

TEST_F(UpdateFixture, DifferentVersionInstallsRecordsAndLaunchesThePatch) {
  server.Route(kPatch, Reply::Ok(Installer()));
  Report();
  const std::string patch = client.InstallDir() + "/patch.exe";
  EXPECT_EQ(ReadFileBytes(patch), Installer());
  struct stat st {};
  ASSERT_EQ(stat(patch.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_EQ(client.ConfigText(), "[SerialNo]\r\nNo=KST-0001\r\n[Version]\r\nClient=0.217\r\n");
  ASSERT_TRUE(WaitUntil([&] { return !ReadFileBytes(record).empty(); }));
  EXPECT_EQ(ReadFileBytes(record), "1|/VerySilent|" + client.InstallDir());
  // The running client is unchanged: its own version and the mining switch stay.
  const MachineState s = client.Core().Snapshot();
  EXPECT_STREQ(s.clientVersion, "0.216");
  EXPECT_EQ(s.onOff, 1);
  EXPECT_EQ(client.window.Text(kIdClientVersion), "0.216");
  EXPECT_EQ(client.window.Text(kIdServerVersion), "0.217");

  // At most one installer per run: a second qualifying report fetches nothing more.
  const size_t requests = server.RequestCount();
  std::remove(record.c_str());
  Report();
  EXPECT_EQ(server.RequestCount(), requests + 1);
  EXPECT_EQ(server.Requests().back().Path(), kReport);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(FileExists(record));
}

TEST_F(UpdateFixture, FailedDownloadWritesAndLaunchesNothing) {
  const std::string patch = client.InstallDir() + "/patch.exe";
  WriteFileBytes(patch, "older installer");
  struct Case {
    const char* name;
    Reply reply;
  } cases[] = {
      {"404", Reply::Status(404, "<html>no patch</html>")},
      {"500", Reply::Status(500, "oops")},
      {"cut", Reply::Cut(Installer(), 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.Route(kPatch, c.reply);
    Report();
    EXPECT_EQ(server.Requests().back().Path(), kPatch);
    EXPECT_EQ(ReadFileBytes(patch), "older installer");
    EXPECT_EQ(client.ConfigText(), "[SerialNo]\r\nNo=KST-0001\r\n[Version]\r\nClient=0.216\r\n");
    EXPECT_FALSE(FileExists(patch + ".part"));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(FileExists(record));
}

TEST_F(UpdateFixture, SameOrShortVersionFetchesNoPatch) {
  for (const char* version : {"0.216", "", "1", "12"}) {
    server.Route(kReport, Reply::Ok(std::string("[Machine]\r\nCode=1000\r\n[Version]\r\nServer=") +
                                    version + "\r\n"));
    Report();
  }
  for (const auto& r : server.Requests()) EXPECT_EQ(r.Path(), kReport);
  EXPECT_EQ(server.RequestCount(), 4u);
}

// Links planted at the temporary names cannot steer the downloads onto other files: they
// are removed first, and the update goes ahead in files of its own.
TEST_F(UpdateFixture, LinksAtTheTemporaryNamesAreNotFollowed) {
  server.Route(kPatch, Reply::Ok(Installer()));
  const std::string victim = client.box.File("victim");
  WriteFileBytes(victim, "precious");
  const std::string patch = client.InstallDir() + "/patch.exe";
  ASSERT_EQ(symlink(victim.c_str(), (patch + ".part").c_str()), 0);
  ASSERT_EQ(symlink(victim.c_str(), (patch + ".minisig.part").c_str()), 0);
  Report();
  EXPECT_EQ(ReadFileBytes(victim), "precious") << (client.debug.Texts().empty() ? "" : client.debug.Texts().back());
  EXPECT_EQ(ReadFileBytes(patch), Installer());
  EXPECT_TRUE(WaitUntil([&] { return FileExists(record); }));
  struct stat st {};
  EXPECT_NE(lstat((patch + ".part").c_str(), &st), 0);
  EXPECT_NE(lstat((patch + ".minisig.part").c_str(), &st), 0);
}
