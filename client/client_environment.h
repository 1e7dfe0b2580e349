#pragma once
// Everything the client takes from outside: folders, service roots, time, randomness,
// the debug output, the program launcher and the adapter lookup. Tests put in their own.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "exchange/url_fetcher.h"
#include "mining/clock.h"
#include "mining/random_source.h"
#include "platform/debug_output.h"
#include "platform/process_launcher.h"

// The limits of one exchange: connect within 60 s, no 30 s without a byte, done within
// 2 minutes, a body of at most 1 MiB (a reply is a few hundred bytes).
inline FetchLimits ReplyLimits() {
  FetchLimits limits;
  limits.connectTimeout = std::chrono::seconds(60);
  limits.idleTimeout = std::chrono::seconds(30);
  limits.totalTimeout = std::chrono::minutes(2);
  limits.maxBodyBytes = 1 << 20;
  return limits;
}

struct ClientEnvironment {
  std::string installDir;       // holds config.ini and patch.exe; no trailing separator
  std::string tempDir;          // holds the reply files; ends with '/'
  std::string serviceRoot;      // e.g. http://127.0.0.1:8216
  std::string patchRoot;        // e.g. http://localhost:8216
  std::string caBundle;         // PEM authorities for https:// roots; empty: the system's store
  std::string updatePublicKey;  // minisign key line ("RW..."); empty: no update is ever started
  Clock* clock = nullptr;
  RandomSource* random = nullptr;
  DebugOutput* debug = nullptr;
  ProcessLauncher* launcher = nullptr;
  std::function<std::string()> macText;             // the adapter lookup
  std::chrono::milliseconds closingPause{2000};     // the pause at the end of a session
  std::chrono::milliseconds powerOffTimeout{5000};  // the power-off notice gives up after this
  FetchLimits replyLimits = ReplyLimits();          // every exchange with the service
};

// The real machine's services, owned here, and an environment built on them with the
// build's folders and roots.
class SystemServices {
 public:
  SystemServices();
  ClientEnvironment Environment();

 private:
  SystemClock clock_;
  CrtRandom random_;
  StderrDebugOutput debug_;
  SpawnLauncher launcher_;
};
