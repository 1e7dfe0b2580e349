#pragma once
// Runs the real mining-service program for a test: start it with options on an ephemeral
// port of 127.0.0.1, read the port from its first line of standard output, stop it with
// SIGTERM (SIGKILL if it does not end in time). The destructor stops it.
//
//   Sandbox box;
//   MiningServiceOptions o;
//   o.binary = KESTRAVON_SERVICE_BIN;
//   o.databasePath = box.File("service.db");
//   MiningServiceProcess service(o);
//   ASSERT_TRUE(service.Start()) << service.StartError();
//   fetch(service.BaseUrl() + "/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x");
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

struct MiningServiceOptions {
  std::string binary;                  // path of mining-service (tests get KESTRAVON_SERVICE_BIN)
  std::string databasePath;            // --db; empty leaves the program's default
  std::string patchDir;                // --patch-dir; empty: none
  std::string clientVersion;           // --client-version; empty: the program's default
  int boostEvery = -1;                 // --boost-every; negative: the program's default
  std::string seedSerial;              // --seed-serial; empty: the program's default
  int port = 0;                        // --port; 0 lets the system choose
  std::vector<std::string> extraArgs;  // appended as they are
  std::string stderrPath;              // the request log goes here (appended); empty: inherited
  std::string tlsCert;                 // --tls-cert and --tls-key: serve HTTPS; empty: plain HTTP
  std::string tlsKey;
};

class MiningServiceProcess {
 public:
  explicit MiningServiceProcess(MiningServiceOptions options);
  ~MiningServiceProcess();
  MiningServiceProcess(const MiningServiceProcess&) = delete;
  MiningServiceProcess& operator=(const MiningServiceProcess&) = delete;

  // Spawns the program and waits for its "listening" line. False when it exits first,
  // prints something else or says nothing in time; StartError() tells which. A stopped
  // service can be started again with the same options (the same database).
  bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  const std::string& StartError() const { return startError_; }

  // Sends `signal` (SIGTERM by default) and waits for the exit; SIGKILL after `grace`.
  // Returns the wait status as waitpid gives it, or -1 when nothing was running.
  int Stop(int signal = 15, std::chrono::milliseconds grace = std::chrono::seconds(10));

  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  int Port() const { return port_; }
  std::string Host() const { return "127.0.0.1"; }
  std::string Scheme() const { return options_.tlsCert.empty() ? "http" : "https"; }
  std::string BaseUrl() const;  // "http://127.0.0.1:<port>" (https with TLS)
  const std::string& FirstLine() const { return firstLine_; }
  const MiningServiceOptions& Options() const { return options_; }

  // The command line Start() runs, program path first.
  std::vector<std::string> Arguments() const;

 private:
  void CloseOutput();

  MiningServiceOptions options_;
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  int port_ = 0;
  std::string firstLine_;
  std::string startError_;
};

// Exit code of a normal exit, or -1 for a death by signal (a crash).
int ExitCodeOf(int waitStatus);
