// The kestravon-minerd program against the real stand-in service on 127.0.0.1: start-up,
// Start/Stop through the view with and without the token, requests the view refuses, and
// the close on SIGTERM, a report minute on a moved wall clock. (Updates are the library's,
// tested in e2e/.)
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "minerd_fixture.h"
#include "support/minerd_process.h"
#include "support/mining_service_process.h"
#include "support/sandbox.h"
#include "support/service_database.h"
#include "support/view_readers.h"

namespace {

std::map<std::string, std::string> Dashboard(httplib::Client& view) {
  auto res = view.Get("/dashboard");
  if (!res || res->status != 200) return {};
  auto leaves = ParseJsonLeaves(res->body);
  return leaves ? *leaves : std::map<std::string, std::string>{};
}

TEST_F(MinerdFixture, StartsTogglesThroughTheTokenAndClosesLikeCancel) {
  auto minerd = Launch({"--listen", "127.0.0.1:0"});
  ASSERT_TRUE(minerd->Start()) << minerd->StartError();
  const int port = minerd->ViewPort();
  ASSERT_GT(port, 0) << minerd->FirstLine();
  httplib::Client view("127.0.0.1", port);
  view.set_bearer_token_auth(Token());
  httplib::Client anonymous("127.0.0.1", port);

  // Start-up as the window's: the demo machine is shown, mining, and the service heard "on".
  auto shown = Dashboard(view);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown["fields[0].name"], "serialNo");
  EXPECT_EQ(shown["fields[0].text"], kSerial);
  EXPECT_EQ(shown["fields[5].name"], "marsSector");
  EXPECT_EQ(shown["fields[5].text"], "Mare Boreum quadrangle");
  EXPECT_EQ(shown["fields[20].text"], "250 / 300 gas");
  const std::string name = shown["fields[2].text"];
  ASSERT_FALSE(name.empty());
  EXPECT_NE(name.find('\xEC'), std::string::npos) << "the Korean name arrives as UTF-8";
  EXPECT_EQ(shown["panes.event.text"],
            "Initialize..\r\nDownloading Machine Information..\r\n" + name + " Start Mining..\r\n");
  EXPECT_EQ(Notices(), (std::vector<int>{1}));
  ASSERT_TRUE(WaitUntil(
      [&] { return Dashboard(view)["panes.mining.text"].find("Mining complete") != std::string::npos; }));

  auto metrics = view.Get("/metrics");
  ASSERT_TRUE(metrics);
  auto samples = ParseMetrics(metrics->body);
  ASSERT_TRUE(samples) << metrics->body;
  EXPECT_GT(samples->at("kestravon_mining_steps_total"), 0);
  EXPECT_GE(samples->at("kestravon_worker_passes_total"), samples->at("kestravon_mining_steps_total"));
  // The daemon runs on the wall clock: in a report minute each answered report takes one
  // unit of fuel, so the fuel is 250 less at most the reports sent so far.
  EXPECT_LE(samples->at("kestravon_fuel"), 250);
  EXPECT_GE(samples->at("kestravon_fuel"), 250 - samples->at("kestravon_reports_sent_total"));
  EXPECT_EQ(samples->at("kestravon_mining"), 1);

  // The token is the user's alone, in the private folder.
  struct stat st;
  ASSERT_EQ(stat((temp + "/minerd.token").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string token = Token();
  ASSERT_EQ(token.size(), 64u);

  // Refused, each without effect: no token, a wrong one, an unknown path, another method,
  // a body too large, no announced length, a foreign Host name.
  const std::string eventsBefore = Dashboard(view)["panes.event.text"];
  std::string wrong = token;
  wrong[10] = wrong[10] == '0' ? '1' : '0';
  EXPECT_EQ(anonymous.Post("/mining", "", "text/plain")->status, 401);
  EXPECT_EQ(anonymous.Post("/mining", {{"Authorization", "Bearer " + wrong}}, "", "text/plain")->status, 401);
  EXPECT_EQ(anonymous.Post("/mining", {{"Authorization", token}}, "", "text/plain")->status, 401);
  EXPECT_EQ(view.Get("/mining")->status, 405);
  EXPECT_EQ(view.Post("/dashboard", "", "text/plain")->status, 405);
  EXPECT_EQ(view.Get("/../etc/passwd")->status, 404);
  EXPECT_EQ(view.Get("/nothing")->status, 404);
  // The view answers 413 and closes while the body is still being sent; the broken pipe
  // must not end the test program.
  signal(SIGPIPE, SIG_IGN);
  const std::string huge(1 << 20, 'x');
  auto tooLarge = view.Post("/mining", {{"Authorization", "Bearer " + token}}, huge, "text/plain");
  EXPECT_TRUE(!tooLarge || tooLarge->status == 413);
  EXPECT_EQ(view.Get("/dashboard", {{"Host", "attacker.example:" + std::to_string(port)}})->status, 403);
  {
    httplib::Client raw("127.0.0.1", port);
    raw.set_default_headers({{"Host", "127.0.0.1:" + std::to_string(port)}});
    // A POST whose length is not given would be read until the connection ends.
    auto res = raw.Post("/mining", {{"Authorization", "Bearer " + token}, {"Transfer-Encoding", "chunked"}},
                        "", "text/plain");
    EXPECT_TRUE(!res || res->status >= 400);
  }
  shown = Dashboard(view);
  EXPECT_EQ(shown["panes.event.text"], eventsBefore);
  EXPECT_EQ(shown["caption"], "STOP");
  EXPECT_EQ(ParseMetrics(view.Get("/metrics")->body)->at("kestravon_mining"), 1);

  // With the token: Stop, as the button does it (mixed-case caption, a stop line).
  auto stop = view.Post("/mining", {{"Authorization", "Bearer " + token}}, "", "text/plain");
  ASSERT_TRUE(stop);
  ASSERT_EQ(stop->status, 200) << stop->body;
  auto reply = ParseJsonLeaves(stop->body);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->at("onOff"), "0");
  EXPECT_EQ(reply->at("caption"), "Start");
  shown = Dashboard(view);
  EXPECT_EQ(shown["caption"], "Start");
  const std::string events = shown["panes.event.text"];
  EXPECT_EQ(events.substr(events.size() - 16), " Stop Mining..\r\n");
  EXPECT_EQ(ParseMetrics(view.Get("/metrics")->body)->at("kestravon_mining"), 0);
  // And Start again.
  auto start = view.Post("/mining", {{"Authorization", "Bearer " + token}}, "", "text/plain");
  ASSERT_TRUE(start);
  EXPECT_EQ(ParseJsonLeaves(start->body)->at("caption"), "Stop");

  // SIGTERM: exit 0, the service heard "off" last, the token is gone.
  EXPECT_EQ(ExitCodeOf(minerd->Stop(SIGTERM)), 0);
  EXPECT_EQ(Notices(), (std::vector<int>{1, 0}));
  EXPECT_FALSE(FileExists(temp + "/minerd.token"));
  const std::string log = ReadFileBytes(box.File("minerd.log"));
  EXPECT_NE(log.find("Initialize..\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" Stop Mining..\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Mining complete"), std::string::npos) << "no per-step lines";
  EXPECT_EQ(log.find('\r'), std::string::npos);
  // Request URLs carry the serial number and the MAC text: not in the journal by default.
  EXPECT_EQ(log.find("sn=" + std::string(kSerial)), std::string::npos) << log;
}

// The daemon keeps the wall clock of its machine; libfaketime moves that clock (and only
// that one: waits run on the monotonic clock) to two seconds before a report minute.
const char kFakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

TEST_F(MinerdFixture, ReportsThroughAReportMinuteAndTheNoticeOffComesLast) {
  if (!FileExists(kFakeTimeLibrary)) {
    // CI installs it (scripts/test): there a missing library is a broken set-up.
    if (InCi()) FAIL() << kFakeTimeLibrary << " is missing (Debian's libfaketime)";
    GTEST_SKIP() << kFakeTimeLibrary << " is missing (Debian's libfaketime)";
  }
  auto minerd = Launch({"--listen", "127.0.0.1:0", "--verbose"});
  std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";  // the preload comes before the runtime
  if (const char* own = std::getenv("ASAN_OPTIONS")) asan += std::string(":") + own;
  minerd->SetEnvironment({std::string("LD_PRELOAD=") + kFakeTimeLibrary, "FAKETIME=@2026-12-10 11:59:58",
                          "FAKETIME_DONT_FAKE_MONOTONIC=1", asan});
  ASSERT_TRUE(minerd->Start()) << minerd->StartError();
  httplib::Client view("127.0.0.1", minerd->ViewPort());
  view.set_bearer_token_auth(Token());
  const auto metrics = [&view] {
    auto res = view.Get("/metrics");
    auto samples = res ? ParseMetrics(res->body) : std::nullopt;
    return samples ? *samples : std::map<std::string, double>{};
  };

  // Minute 00 is a report minute: reports go out from its first seconds on.
  ASSERT_TRUE(
      WaitUntil([&] { return metrics()["kestravon_reports_sent_total"] >= 3; }, std::chrono::seconds(45)))
      << ReadFileBytes(box.File("minerd.log"));
  auto samples = metrics();
  EXPECT_EQ(samples["kestravon_reports_failed_total"], 0);
  EXPECT_EQ(samples["kestravon_mining"], 1);
  // Each answered report took one unit of fuel, and the dashboard shows what the answer said.
  const double fuel = samples["kestravon_fuel"];
  EXPECT_LE(fuel, 250 - 2);
  EXPECT_GE(fuel, 250 - samples["kestravon_reports_sent_total"]);
  const auto shown = Dashboard(view);
  EXPECT_EQ(shown.at("fields[20].name"), "fuel");
  EXPECT_EQ(shown.at("fields[20].text").find(" / 300 gas"), shown.at("fields[20].text").size() - 10);
  EXPECT_EQ(shown.at("panes.event.text").find("Server Disconnected"), std::string::npos);

  // SIGTERM in the middle of the report minute: nothing reaches the service after "off".
  EXPECT_EQ(ExitCodeOf(minerd->Stop(SIGTERM)), 0);
  EXPECT_EQ(Notices(), (std::vector<int>{1, 0}));
  std::string requests = ReadFileBytes(box.File("requests.log"));
  while (!requests.empty() && requests.back() == '\n') requests.pop_back();
  const std::string lastRequest = requests.substr(requests.rfind('\n') + 1);
  EXPECT_NE(lastRequest.find("GET /Machine/UpdateOnOff.html 200"), std::string::npos) << requests;

  // The service kept every answered report and the machine's fuel went down by as many.
  const Rows reports = QueryServiceDatabase(serviceOptions.databasePath,
                                            "SELECT COUNT(*) FROM reports WHERE serial = ?1", {kSerial});
  const Rows machine = QueryServiceDatabase(serviceOptions.databasePath,
                                            "SELECT fuel FROM machines WHERE serial = ?1", {kSerial});
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_EQ(machine.size(), 1u);
  const int answered = std::stoi(reports[0][0]);
  EXPECT_GE(answered, 250 - static_cast<int>(fuel));
  EXPECT_EQ(std::stoi(machine[0][0]), 250 - answered);
  const std::string log = ReadFileBytes(box.File("minerd.log"));
  EXPECT_NE(log.find("UpdateInfov2.html?sn=KST-DEMO-0001"), std::string::npos)
      << "--verbose logs the URLs: " << log;
  EXPECT_NE(log.find("OnOff=0"), std::string::npos) << log;
  EXPECT_EQ(log.find("Server Disconnected"), std::string::npos) << log;
}

TEST_F(MinerdFixture, SigintWithoutAViewClosesTheSameWay) {
  auto minerd = Launch({});
  ASSERT_TRUE(minerd->Start()) << minerd->StartError();
  EXPECT_EQ(minerd->FirstLine(), "running without a view");
  EXPECT_FALSE(FileExists(temp + "/minerd.token")) << "no view, no token";
  EXPECT_EQ(ExitCodeOf(minerd->Stop(SIGINT)), 0);
  EXPECT_EQ(Notices(), (std::vector<int>{1, 0}));
}

TEST_F(MinerdFixture, RefusesToStartRatherThanListenBeyondTheMachineOrShareItsToken) {
  // Neither a non-loopback address nor a folder others can enter leads to a session.
  auto wide = Launch({"--listen", "0.0.0.0:0"});
  EXPECT_FALSE(wide->Start());
  EXPECT_EQ(ExitCodeOf(wide->Wait()), 2);

  chmod(temp.c_str(), 0755);
  auto shared = Launch({"--listen", "127.0.0.1:0"});
  EXPECT_FALSE(shared->Start());
  EXPECT_EQ(ExitCodeOf(shared->Wait()), 1);
  EXPECT_FALSE(FileExists(temp + "/minerd.token"));
  EXPECT_TRUE(Notices().empty()) << "the service never heard of this machine";
}

struct NoMachineCase {
  const char* what;
  const char* configText;  // nullptr: no config.ini at all
  bool installDirThere;
  const char* message;
};

TEST_F(MinerdFixture, RefusesToStartWithoutASerialNumberOrInstallFolderAndSaysWhy) {
  const std::vector<NoMachineCase> cases = {
      {"no config.ini", nullptr, true, "no serial number in "},
      {"no [SerialNo] section", "[Version]\r\nClient=0.216\r\n", true, "no serial number in "},
      {"an empty No=", "[SerialNo]\r\nNo=\r\n", true, "no serial number in "},
      {"no install folder", nullptr, false, "No such file or directory"},
  };
  for (const NoMachineCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "machine-" + std::to_string(&c - cases.data());
    const std::string folder = c.installDirThere ? box.MakeDir(name) : box.File(name);
    if (c.configText) WriteFileBytes(folder + "/config.ini", c.configText);
    MinerdProcess minerd({KESTRAVON_MINERD_BIN, "--install-dir", folder, "--temp-dir", temp, "--service-root",
                          service->BaseUrl()},
                         box.File("refused.log"));
    EXPECT_FALSE(minerd.Start());
    EXPECT_EQ(ExitCodeOf(minerd.Wait()), 1);
    const std::string log = ReadFileBytes(box.File("refused.log"));
    EXPECT_NE(log.find(c.message), std::string::npos) << log;
    if (c.installDirThere) {
      // The file and the line to write are named.
      EXPECT_NE(log.find(folder + "/config.ini"), std::string::npos) << log;
      EXPECT_NE(log.find("No=<serial number>"), std::string::npos) << log;
    }
  }
  EXPECT_TRUE(PowerNoticesOf(serviceOptions.databasePath, "").empty()) << "the service heard of no machine";
  EXPECT_TRUE(Notices().empty());
}

TEST_F(MinerdFixture, TwoInstancesOnOneBoxKeepApart) {
  const std::string install2 = box.MakeDir("install2");
  WriteFileBytes(install2 + "/config.ini",
                 "[SerialNo]\r\nNo=KST-OTHER-0002\r\n[Version]\r\nClient=0.216\r\n");
  auto first = Launch({"--listen", "127.0.0.1:0"});
  ASSERT_TRUE(first->Start()) << first->StartError();
  // The second derives its private folder from its install folder.
  MinerdProcess second({KESTRAVON_MINERD_BIN, "--install-dir", install2, "--service-root", service->BaseUrl(),
                        "--listen", "127.0.0.1:0"},
                       box.File("minerd2.log"));
  ASSERT_TRUE(second.Start()) << second.StartError();
  ASSERT_NE(first->ViewPort(), second.ViewPort());
  httplib::Client view1("127.0.0.1", first->ViewPort());
  view1.set_bearer_token_auth(Token());
  httplib::Client view2("127.0.0.1", second.ViewPort());
  view2.set_bearer_token_auth(TokenNamedIn(box.File("minerd2.log")));
  EXPECT_EQ(Dashboard(view1)["fields[0].text"], kSerial);
  EXPECT_EQ(Dashboard(view2)["fields[0].text"], "KST-OTHER-0002");
  // One instance's token does not move the other.
  httplib::Client other("127.0.0.1", second.ViewPort());
  auto res = other.Post("/mining", {{"Authorization", "Bearer " + Token()}}, "", "text/plain");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 401);
  EXPECT_EQ(ExitCodeOf(second.Stop(SIGTERM)), 0);
  EXPECT_EQ(ExitCodeOf(first->Stop(SIGTERM)), 0);
  EXPECT_EQ(PowerNoticesOf(serviceOptions.databasePath, "KST-OTHER-0002"), (std::vector<int>{1, 0}));
  EXPECT_EQ(Notices(), (std::vector<int>{1, 0}));
}

}  // namespace

// Another user made the private folder's parent first (kestravon-<uid> in the shared
// temporary folder), or the shared folder is one anyone may change: the program refuses to
// start rather than read answers others can write, and says what stands in the way and
// how to get past it.
TEST_F(MinerdFixture, RefusesAPrivateFolderInsideOneOthersControlAndNamesTheFix) {
  const std::string uid = std::to_string(geteuid());
  struct Case {
    const char* what;
    mode_t sharedMode;
    bool plant;  // kestravon-<uid> made first by another user, open to all
    std::string problem;
  } cases[] = {
      {"planted by another user", 01777, true, "kestravon-" + uid + " belongs to another user"},
      {"shared folder not sticky", 0777, false, " may be changed by other users"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string shared = box.MakeDir(std::string("shared-") + (c.plant ? "p" : "o"));
    ASSERT_EQ(chmod(shared.c_str(), c.sharedMode), 0);
    if (c.plant) {
      std::string planted = shared + "/kestravon-";
      planted += uid;
      ASSERT_EQ(mkdir(planted.c_str(), 0777), 0);
      ASSERT_EQ(chmod(planted.c_str(), 0777), 0);
      if (chown(planted.c_str(), 65534, 65534) != 0) {
        std::printf("skipped (needs root to plant a folder as another user): %s\n", c.what);
        continue;
      }
    }
    const std::string log = box.File(std::string("refused-") + (c.plant ? "p" : "o") + ".log");
    MinerdProcess minerd(
        {KESTRAVON_MINERD_BIN, "--install-dir", install, "--service-root", service->BaseUrl()}, log);
    minerd.SetEnvironment({"TMPDIR=" + shared, "XDG_RUNTIME_DIR="});
    EXPECT_FALSE(minerd.Start());
    EXPECT_EQ(ExitCodeOf(minerd.Wait()), 1);
    const std::string said = ReadFileBytes(log);
    EXPECT_NE(said.find(c.problem), std::string::npos) << said;
    EXPECT_NE(said.find("XDG_RUNTIME_DIR"), std::string::npos) << said;
    EXPECT_TRUE(Notices().empty()) << "the service never heard of this machine";
  }
}
