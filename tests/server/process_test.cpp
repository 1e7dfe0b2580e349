// Starting and stopping the program: options, the listening line, signals, start-up errors.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "service_fixture.h"

namespace {

using ServiceProcess = ServiceTest;

TEST_F(ServiceProcess, PrintsOneListeningLineAndStopsCleanlyOnSigintAndSigterm) {
  for (int signal : {SIGINT, SIGTERM}) {
    StartService();
    EXPECT_EQ(service_->FirstLine(),
              "mining-service listening on http://127.0.0.1:" + std::to_string(service_->Port()));
    EXPECT_EQ(MachineInfo().Get("Return", "Count"), "1");
    const int status = service_->Stop(signal);
    EXPECT_EQ(ExitCodeOf(status), 0) << "signal " << signal;
  }
  EXPECT_NE(LogText().find("mining-service: stopped"), std::string::npos) << LogText();
}

TEST_F(ServiceProcess, AStopRightAfterTheListeningLineIsNotLost) {
  // The signal may arrive before the accept loop runs; it must still end the program.
  for (int i = 0; i < 5; ++i) {
    StartService();
    EXPECT_EQ(ExitCodeOf(service_->Stop(SIGTERM, std::chrono::seconds(5))), 0) << "round " << i;
  }
}

struct StartFailure {
  const char* what;
  std::vector<std::string> extraArgs;
  int exitCode;
  const char* message;
};

TEST_F(ServiceProcess, WrongCommandLinesAndUnusableFilesEndTheProgramWithAMessage) {
  WriteFileBytes(box_.File("not-a-database"), std::string(4096, 'x'));
  box_.MakeDir("a-folder");
  const std::vector<StartFailure> cases = {
      {"port text", {"--port", "http"}, 2, "--port"},
      {"port range", {"--port", "65536"}, 2, "--port"},
      {"boost below 0", {"--boost-every", "-1"}, 2, "--boost-every"},
      {"unknown option", {"--verbose", "1"}, 2, "unknown option '--verbose'"},
      {"missing value", {"--db"}, 2, "needs a value"},
      {"line break", {"--client-version", "0.2\r\n[Evil]"}, 2, "line break"},
      {"not a database", {"--db", box_.File("not-a-database")}, 1, "mining-service:"},
      {"a folder", {"--db", box_.File("a-folder")}, 1, "cannot open database"},
      {"bad address", {"--bind", "999.1.1.1"}, 1, "cannot listen"},
      {"no threads", {"--threads", "0"}, 2, "--threads"},
      {"too many threads", {"--threads", "1025"}, 2, "--threads"},
      {"no head time", {"--head-timeout-ms", "0"}, 2, "--head-timeout-ms"},
      {"a negative per-address limit", {"--per-address-limit", "-1"}, 2, "--per-address-limit"},
      {"a per-address limit that is no number", {"--per-address-limit", "3x"}, 2, "--per-address-limit"},
      {"no PostgreSQL there",
       {"--db", "postgresql://nobody@127.0.0.1:1/none?connect_timeout=2"},
       1,
       "cannot connect to the PostgreSQL database"},
  };
  for (const StartFailure& c : cases) {
    MiningServiceOptions o = options_;
    o.extraArgs = c.extraArgs;
    MiningServiceProcess p(o);
    EXPECT_FALSE(p.Start()) << c.what;
    EXPECT_NE(p.StartError().find("exit code " + std::to_string(c.exitCode)), std::string::npos)
        << c.what << ": " << p.StartError();
    EXPECT_NE(LogText().find(c.message), std::string::npos) << c.what << ": " << LogText();
  }
}

TEST_F(ServiceProcess, ABusyPortIsReportedNotIgnored) {
  StartService();
  MiningServiceOptions o = options_;
  o.databasePath = box_.File("second.db");
  o.port = service_->Port();
  MiningServiceProcess second(o);
  EXPECT_FALSE(second.Start());
  EXPECT_NE(second.StartError().find("exit code 1"), std::string::npos) << second.StartError();
  // The reason is given, and the failed start left no database behind.
  EXPECT_NE(LogText().find("cannot listen on 127.0.0.1 port " + std::to_string(o.port) +
                           ": Address already in use"),
            std::string::npos)
      << LogText();
  EXPECT_FALSE(FileExists(o.databasePath));
  EXPECT_EQ(MachineInfo().Get("Return", "Count"), "1") << "the first service still answers";
}

// The service started by a shell that exits soon after, as a crashed test would: with
// --exit-with-parent it stops by itself, cleanly. This process adopts it as the
// subreaper, so that it can wait for it.
TEST_F(ServiceProcess, AServiceWhoseStarterDiesStopsByItself) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const std::string log = box_.File("orphan.log");
  const std::string command = "'" + options_.binary + "' --exit-with-parent --port 0 --db '" +
                              box_.File("orphan.db") + "' 2>'" + log + "' >/dev/null & echo $!; sleep 0.3";
  FILE* shell = popen(command.c_str(), "r");
  ASSERT_NE(shell, nullptr);
  char line[64] = {};
  const bool gotPid = std::fgets(line, sizeof line, shell) != nullptr;
  pclose(shell);  // the starter is gone from here on
  ASSERT_TRUE(gotPid);
  const pid_t service = static_cast<pid_t>(std::atol(line));
  ASSERT_GT(service, 0);

  int status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 200 && ended == 0; ++i) {
    ended = waitpid(service, &status, WNOHANG);
    if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (ended == 0) {
    kill(service, SIGKILL);
    waitpid(service, &status, 0);
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
  ASSERT_EQ(ended, service) << "the service outlived its starter by 10 s";
  EXPECT_EQ(ExitCodeOf(status), 0);
  EXPECT_NE(ReadFileBytes(log).find("mining-service: stopped"), std::string::npos) << ReadFileBytes(log);
}

}  // namespace

namespace {

// Runs the program with `args` and no display; its standard output and exit code.
std::pair<std::string, int> RunQuietly(const std::string& binary, const std::string& args) {
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY '" + binary + "' " + args + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {"", -1};
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = pclose(pipe);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace

TEST(ServiceCommandLine, HelpAndVersionAnswerWithoutStartingAnything) {
  struct Case {
    const char* args;
    std::vector<const char*> shown;
  };
  const std::vector<Case> cases = {
      {"--version", {"mining-service 0."}},
      {"--help",
       {"--port N", "--bind ADDR", "--db PATH|URI", "--tls-cert FILE", "--tls-key FILE", "--patch-dir DIR",
        "--client-version TEXT", "--boost-every N", "--seed-serial TEXT", "--exit-with-parent", "--threads N",
        "--head-timeout-ms N", "--per-address-limit N", "--version"}},
  };
  Sandbox box;
  for (const Case& c : cases) {
    // Run in an empty folder: neither answer may create the default database there.
    const auto [out, code] =
        RunQuietly(KESTRAVON_SERVICE_BIN, std::string(c.args) + " --db '" + box.File("never.db") + "'");
    EXPECT_EQ(code, 0) << c.args;
    for (const char* text : c.shown) EXPECT_NE(out.find(text), std::string::npos) << text << " in:\n" << out;
    EXPECT_FALSE(FileExists(box.File("never.db"))) << c.args;
  }
}
