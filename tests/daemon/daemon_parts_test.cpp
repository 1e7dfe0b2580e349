// The headless program's parts on their own: its command line, the view's checks, the
// texts it converts and the files it writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "daemon/access_token.h"
#include "daemon/daemon_options.h"
#include "daemon/dashboard_json.h"
#include "daemon/headless_window.h"
#include "daemon/instance_folders.h"
#include "daemon/local_view.h"
#include "daemon/metrics_text.h"
#include "daemon/utf8_text.h"
#include "platform/ansi_code_page.h"
#include "support/sandbox.h"
#include "support/view_readers.h"

namespace {

TEST(ListenAddress, OnlyLoopbackLiteralsWithAPortAreTaken) {
  struct Case {
    const char* text;
    bool taken;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"127.0.0.1:8300", true, "127.0.0.1", 8300},
      {"127.0.0.1:0", true, "127.0.0.1", 0},
      {"127.1.2.3:65535", true, "127.1.2.3", 65535},
      {"[::1]:8300", true, "::1", 8300},
      {"0.0.0.0:8300", false, "", 0},
      {"192.168.1.5:8300", false, "", 0},
      {"128.0.0.1:8300", false, "", 0},
      {"[::]:8300", false, "", 0},
      {"[::ffff:127.0.0.1]:8300", false, "", 0},  // mapped: a dual-stack socket, not ::1
      {"localhost:8300", false, "", 0},           // a name resolves to whatever it is told
      {"127.0.0.1", false, "", 0},
      {"127.0.0.1:", false, "", 0},
      {"127.0.0.1:65536", false, "", 0},
      {"127.0.0.1:-1", false, "", 0},
      {"127.0.0.1:80x", false, "", 0},
      {"127.0.0.1 :80", false, "", 0},
      {"[::1]8300", false, "", 0},
      {"", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto address = ParseListenAddress(c.text, error);
    EXPECT_EQ(address.has_value(), c.taken) << c.text;
    if (address) {
      EXPECT_EQ(address->host, c.host) << c.text;
      EXPECT_EQ(address->port, c.port) << c.text;
    } else {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
}

TEST(DaemonOptions, CommandLineIsReadStrictly) {
  auto parsed = ParseDaemonOptions({"--install-dir", "/a", "--temp-dir", "/b", "--listen", "127.0.0.1:9",
                                    "--service-root", "http://127.0.0.1:1", "--patch-root", "https://x"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->installDir, "/a");
  EXPECT_EQ(parsed.options->tempDir, "/b");
  ASSERT_TRUE(parsed.options->listen);
  EXPECT_EQ(parsed.options->listen->port, 9);
  EXPECT_EQ(parsed.options->patchRoot, "https://x");
  EXPECT_FALSE(ParseDaemonOptions({}).options->listen) << "the view is off unless asked for";

  EXPECT_FALSE(parsed.options->verbose) << "request URLs stay out of the journal unless asked for";
  EXPECT_TRUE(ParseDaemonOptions({"--verbose"}).options->verbose);
  EXPECT_EQ(ParseDaemonOptions({"--install-dir=/c"}).options->installDir, "/c");
  EXPECT_EQ(parsed.options->viewPerAddressLimit, 0) << "no limit per address unless asked for";
  EXPECT_EQ(ParseDaemonOptions({"--per-address-limit", "4"}).options->viewPerAddressLimit, 4);

  struct Wrong {
    std::vector<std::string> args;
    const char* error;
  };
  const std::vector<Wrong> wrong = {
      {{"--listen", "0.0.0.0:80"}, "loopback"},
      {{"--listen"}, "option --listen needs a value"},
      {{"--install-dir"}, "option --install-dir needs a value"},
      {{"--install-dir", ""}, "needs a non-empty value"},
      {{"--install-dir", "--listen", "127.0.0.1:1"}, "option --install-dir needs a value"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"stray"}, "unexpected argument 'stray'"},
      {{"--verbose=maybe"}, "--verbose"},
      {{"--service-root", "ftp://x"}, "http://"},
      {{"--patch-root", "file:///etc"}, "http://"},
      {{"--per-address-limit", "-1"}, "--per-address-limit"},
      {{"--per-address-limit", "2x"}, "--per-address-limit"}};
  for (const Wrong& w : wrong) {
    const auto result = ParseDaemonOptions(w.args);
    EXPECT_FALSE(result.options) << w.args[0];
    EXPECT_NE(result.error.find(w.error), std::string::npos) << w.args[0] << ": " << result.error;
  }
  EXPECT_TRUE(ParseDaemonOptions({"--help"}).helpRequested);
  EXPECT_TRUE(ParseDaemonOptions({"-h"}).helpRequested);
  EXPECT_TRUE(ParseDaemonOptions({"--version"}).versionRequested);
  EXPECT_FALSE(ParseDaemonOptions({"--version"}).options) << "--version starts no session";
}

TEST(DaemonOptions, UsageNamesEveryOptionAndVersionTheBuild) {
  const std::string usage = DaemonUsageText();
  for (const char* option :
       {"--install-dir DIR", "--temp-dir DIR", "--listen HOST:PORT", "--per-address-limit N",
        "--service-root URL", "--patch-root URL", "--verbose", "--version", "--help"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option << " in:\n" << usage;
  }
  EXPECT_EQ(DaemonVersionText().rfind("kestravon-minerd 0.", 0), 0u) << DaemonVersionText();
}

TEST(LocalViewHost, OnlyLoopbackNamesWithTheViewsPortAreAnswered) {
  for (const char* host : {"127.0.0.1:8300", "localhost:8300", "[::1]:8300", "127.0.0.2:8300"}) {
    EXPECT_TRUE(LocalView::HostAllowed(host, 8300)) << host;
  }
  for (const char* host : {"", "127.0.0.1", "127.0.0.1:8301", "evil.example:8300", "localhost.evil:8300",
                           "10.0.0.1:8300", "127.0.0.1:8300:8300", "[::]:8300", "1:8300"}) {
    EXPECT_FALSE(LocalView::HostAllowed(host, 8300)) << host;
  }
}

TEST(AccessToken, ComparedWholeAndOnlyAsBearer) {
  const std::string token = NewAccessToken();
  ASSERT_EQ(token.size(), 64u);
  EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(NewAccessToken(), token);

  EXPECT_TRUE(TokensMatch(BearerToken("Bearer " + token), token));
  std::string flipped = token;
  flipped.back() = flipped.back() == 'a' ? 'b' : 'a';
  for (const std::string& header :
       {"Bearer " + flipped, "Bearer " + token.substr(1), "Bearer " + token + "0", "bearer " + token,
        "Basic " + token, token, std::string("Bearer "), std::string()}) {
    EXPECT_FALSE(TokensMatch(BearerToken(header), token)) << header;
  }
  EXPECT_FALSE(TokensMatch("", "")) << "no expected token means nothing matches";
}

TEST(AccessToken, FileIsFreshPrivateAndNeverFollowsALink) {
  Sandbox box;
  const std::string folder = box.MakeDir("private");
  chmod(folder.c_str(), 0700);
  const std::string victim = box.File("victim");
  WriteFileBytes(victim, "keep me");
  ASSERT_EQ(symlink(victim.c_str(), (folder + "/minerd.token").c_str()), 0);

  ASSERT_TRUE(WriteTokenFile(folder, "abc"));
  EXPECT_EQ(ReadFileBytes(victim), "keep me");
  struct stat st;
  ASSERT_EQ(lstat((folder + "/minerd.token").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFileBytes(folder + "/minerd.token"), "abc\n");

  // A folder others may enter is no place for it.
  chmod(folder.c_str(), 0755);
  EXPECT_FALSE(WriteTokenFile(folder, "abc"));
  EXPECT_FALSE(WriteTokenFile(folder, ""));
}

TEST(InstanceFolders, EachInstallFolderGetsItsOwnPrivateFolder) {
  Sandbox box;
  const std::string a = box.MakeDir("a");
  const std::string b = box.MakeDir("b");
  EXPECT_NE(InstallFolderKey(a), InstallFolderKey(b));
  EXPECT_EQ(InstallFolderKey(a), InstallFolderKey(a + "/../a")) << "one folder, one key";
  const std::string given = InstanceTempFolder(a, box.File("mine"));
  EXPECT_EQ(given, box.File("mine") + "/");
  struct stat st;
  ASSERT_EQ(stat(given.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  const std::string derivedA = InstanceTempFolder(a, "");
  const std::string derivedB = InstanceTempFolder(b, "");
  EXPECT_NE(derivedA, derivedB);
  EXPECT_EQ(derivedA.back(), '/');
  rmdir(derivedA.c_str());
  rmdir(derivedB.c_str());
}

TEST(Utf8Text, Cp949BecomesUtf8AndBadBytesBecomeReplacements) {
  EXPECT_EQ(AnsiToUtf8("plain"), "plain");
  EXPECT_EQ(AnsiToUtf8("0.000000 \xA1\xC6"), "0.000000 \xC2\xB0");  // the degree sign
  EXPECT_EQ(AnsiToUtf8("\xC4\xC9"), "\xEC\xBC\x80");                // a Korean syllable
  EXPECT_EQ(AnsiToUtf8("a\xFF"
                       "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(AnsiToUtf8("cut \xC4"), "cut \xEF\xBF\xBD");
}

TEST(Utf8Text, HostileTextsStayInsideTheirJsonStringAndOffTheTerminal) {
  const std::string hostile = std::string("q\"b\\s/\x01\x1b[31m\r\n\t\x7f") + '\0' + "\xC4\xC9";
  const std::string json = "{\"t\":" + JsonString(AnsiToUtf8(hostile)) + "}";
  const auto leaves = ParseJsonLeaves(json);
  ASSERT_TRUE(leaves) << json;
  EXPECT_EQ(leaves->at("t"), std::string("q\"b\\s/\x01\x1b[31m\r\n\t\x7f") + '\0' + "\xEC\xBC\x80");
  EXPECT_EQ(PrintableLine("a\x1b[2Jb\rc"), "a\\x1B[2Jb\\x0Dc");
}

TEST(HeadlessWindow, KeepsPanesUnderTheRuleAndLogsEachEventEntryOnce) {
  std::vector<std::string> lines;
  HeadlessWindow window([&lines](const std::string& line) { lines.push_back(line); });
  EXPECT_EQ(window.Text(kIdStartStop), "Start");

  window.AppendToPane(LogPane::kEvent, "Initialize..\r\n");
  window.AppendToPane(LogPane::kEvent, "\xC4\xC9 one");
  window.AppendToPane(LogPane::kEvent, " Start Mining..\r\n");
  window.AppendToPane(LogPane::kMining, "Mining complete\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"Initialize..", "\xC4\xC9 one Start Mining.."}));
  EXPECT_TRUE(window.Operations().empty()) << "a long run must not keep every operation";

  // The pane rule: past 4096 characters the pane is emptied before the next append.
  const std::string block(4097, 'x');
  window.AppendToPane(LogPane::kMining, block.c_str());
  window.AppendToPane(LogPane::kMining, "next\r\n");
  EXPECT_EQ(window.Pane(LogPane::kMining), "next\r\n");

  // A line that never ends is written in pieces instead of growing without bound.
  lines.clear();
  const std::string endless(9000, 'y');
  window.AppendToPane(LogPane::kEvent, endless.c_str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 4096u);
}

TEST(DashboardJson, EveryFieldCheckAndPaneReadsBackExactly) {
  HeadlessWindow window([](const std::string&) {});
  DashboardView view;
  for (int i = 0; i < kDashboardTextFields; ++i) {
    view.fields[i].controlId = kDashboardFieldNames[i].controlId;
    std::snprintf(view.fields[i].text, sizeof view.fields[i].text, "v%d", i);
  }
  std::snprintf(view.fields[2].text, sizeof view.fields[2].text, "%s", "\xC4\xC9\"\x1b");
  view.targetCoinPosition = 3;
  view.autoChargeCheck = 1;
  std::snprintf(view.caption, sizeof view.caption, "STOP");
  window.ShowDashboard(view);
  window.AppendToPane(LogPane::kEvent, "Initialize..\r\n");

  const auto leaves = ParseJsonLeaves(DashboardJson(window.Current()));
  ASSERT_TRUE(leaves);
  for (int i = 0; i < kDashboardTextFields; ++i) {
    const std::string at = "fields[" + std::to_string(i) + "]";
    EXPECT_EQ(leaves->at(at + ".id"), std::to_string(kDashboardFieldNames[i].controlId));
    EXPECT_EQ(leaves->at(at + ".name"), kDashboardFieldNames[i].name);
    EXPECT_EQ(leaves->at(at + ".text"), i == 2 ? "\xEC\xBC\x80\"\x1b" : "v" + std::to_string(i));
  }
  EXPECT_EQ(leaves->at("caption"), "STOP");
  EXPECT_EQ(leaves->at("autoCharge.check"), "1");
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(leaves->at("targetCoin[" + std::to_string(i) + "].checked"), i == 3 ? "true" : "false");
  }
  EXPECT_EQ(leaves->at("panes.event.text"), "Initialize..\r\n");
  EXPECT_EQ(leaves->at("panes.mining.text"), "");
}

TEST(MetricsText, ReadsBackAsTheFormatDefinesIt) {
  MetricsInput in;
  in.workerPasses = 18446744073709551615ULL;
  in.counts.miningSteps = 7;
  in.counts.reportsSent = 3;
  in.counts.reportsFailed = 1;
  in.counts.updateAttempts = 2;
  in.machineKest = 0.1;
  in.fuel = -5;
  in.exp = 2147483647;
  in.onOff = 2;
  in.uptimeSeconds = 12.5;
  const auto m = ParseMetrics(MetricsText(in));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->at("kestravon_worker_passes_total"), 18446744073709551615.0);
  EXPECT_EQ(m->at("kestravon_mining_steps_total"), 7);
  EXPECT_EQ(m->at("kestravon_reports_sent_total"), 3);
  EXPECT_EQ(m->at("kestravon_reports_failed_total"), 1);
  EXPECT_EQ(m->at("kestravon_update_attempts_total"), 2);
  EXPECT_EQ(m->at("kestravon_machine_kest"), 0.1) << "printed with every digit it needs";
  EXPECT_EQ(m->at("kestravon_fuel"), -5);
  EXPECT_EQ(m->at("kestravon_experience"), 2147483647);
  EXPECT_EQ(m->at("kestravon_mining"), 0) << "onOff 2 is not mining";
  EXPECT_EQ(m->at("kestravon_uptime_seconds"), 12.5);

  in.machineKest = std::nan("");
  EXPECT_TRUE(std::isnan(ParseMetrics(MetricsText(in))->at("kestravon_machine_kest")));
  EXPECT_EQ(MetricValue(-HUGE_VAL), "-Inf");
  // The reader itself refuses what the format does not allow.
  EXPECT_FALSE(ParseMetrics("kestravon_fuel 1\n"));
  EXPECT_FALSE(ParseMetrics("# TYPE x gauge\nx 1O\n"));
}

}  // namespace
