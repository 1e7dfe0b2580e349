// The whole client with hostile things where its reply files would go, and with a reply
// folder that is not private: nothing outside the folder is written, no answer is read
// from anything but the file the fetch wrote, and start-up and close stay bounded.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "machine_record.h"
#include "support/client_fixture.h"
#include "support/scripted_http_server.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kReportAnswer = "[Machine]\r\nFuel=9\r\nKEST=1\r\nCode=3021\r\n";
constexpr uid_t kNobody = 65534;

struct PrivateFilesFixture : ::testing::Test {
  ScriptedHttpServer server;
  ClientFixture client{server.Root()};
  std::string outside;

  void SetUp() override {
    server.Route("/Machine/GetData.html", Reply::Ok(kMachineRecord));
    server.Route("/Machine/UpdateInfov2.html", Reply::Ok(kReportAnswer));
    server.SetDefault(Reply::Ok("ok"));
    client.WriteConfig("KST-0001", "0.216");
    outside = client.box.File("outside.ini");
    WriteFileBytes(outside, std::string(kMachineRecord) + "[Machine]\r\nCode=3021\r\n");
  }

  // Start-up, one report that passes its gate, the close; each bounded.
  void RunSession(MinerCore& core) {
    auto t0 = SteadyClock::now();
    core.StartSession();
    EXPECT_LT(SteadyClock::now() - t0, 10s);
    // The worker reports as soon as mining is on: every pass is a report pass.
    client.clock.SetLocalTime(12, 3, 7, 2);
    client.random.Queue({0});
    core.WithState([](MachineState& s) { s.onOff = 1; });
    EXPECT_TRUE(server.WaitForRequests(3, 20s));
    EXPECT_TRUE(WaitUntil([&] { return core.Snapshot().onOff != 1; }));
    t0 = SteadyClock::now();
    core.EndSession();
    core.Stop();
    EXPECT_LT(SteadyClock::now() - t0, 10s);
  }
};

}  // namespace

TEST_F(PrivateFilesFixture, LinksFifoAndForeignFilesInPlaceOfTheRepliesAreNotAnswers) {
  const std::string temp = client.TempDir();
  ASSERT_EQ(symlink(outside.c_str(), (temp + "qx_sn.dat").c_str()), 0);
  ASSERT_EQ(mkfifo((temp + "qx_ui.dat").c_str(), 0600), 0);
  WriteFileBytes(temp + "qx_onoff.dat", "someone else's");
  if (geteuid() == 0) {
    ASSERT_EQ(chown((temp + "qx_onoff.dat").c_str(), kNobody, kNobody), 0);
  }
  const std::string outsideBefore = ReadFileBytes(outside);

  MinerCore core(client.env, client.window);
  RunSession(core);

  // Every request went out; no answer was read from what stood in the files' place.
  EXPECT_EQ(server.RequestCount(), 4u);
  const MachineState s = core.Snapshot();
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.fuel, 0);
  EXPECT_EQ(s.boost, 0);
  EXPECT_NE(client.window.Pane(LogPane::kEvent).find("Server Disconnected...\r\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(outside), outsideBefore);
  struct stat st;
  ASSERT_EQ(lstat((temp + "qx_sn.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(lstat((temp + "qx_ui.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  if (geteuid() == 0) {
    EXPECT_EQ(ReadFileBytes(temp + "qx_onoff.dat"), "someone else's");
  }
}

TEST_F(PrivateFilesFixture, ReplyFolderThatIsNotPrivateMeansNoAnswerAndADebugLine) {
  struct Case {
    const char* what;
    std::function<std::string(ClientFixture&)> folder;
  } cases[] = {
      {"others may enter",
       [](ClientFixture& c) {
         chmod(c.TempDir().c_str(), 0755);
         return c.TempDir();
       }},
      {"a link to a private folder",
       [](ClientFixture& c) {
         const std::string link = c.box.File("temp-link");
         symlink(c.TempDir().c_str(), link.c_str());
         return link + "/";
       }},
      {"missing", [](ClientFixture& c) { return c.box.File("gone") + "/"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedHttpServer service;
    service.Route("/Machine/GetData.html", Reply::Ok(kMachineRecord));
    service.Route("/Machine/UpdateInfov2.html", Reply::Ok(kReportAnswer));
    ClientFixture fixture(service.Root());
    fixture.env.tempDir = c.folder(fixture);
    MinerCore core(fixture.env, fixture.window);
    core.StartSession();
    EXPECT_EQ(core.Snapshot().level, 0);
    EXPECT_NE(fixture.window.Pane(LogPane::kEvent).find("Server Disconnected...\r\n"), std::string::npos);
    bool noted = false;
    for (const std::string& line : fixture.debug.Texts()) {
      noted = noted || line.find("not private") != std::string::npos;
    }
    EXPECT_TRUE(noted);
    EXPECT_EQ(service.RequestCount(), 2u);  // the requests still go out
    EXPECT_FALSE(FileExists(fixture.TempDir() + "qx_sn.dat"));
    core.Stop();
  }
}
