#pragma once
// Command line of mining-service.
#include <optional>
#include <string>
#include <vector>

#include "core/command_line_result.h"

struct ServiceOptions {
  std::string bindAddress = "127.0.0.1";
  int port = 8216;  // 0 lets the system pick a free port
  std::string databasePath = "mining-service.db";
  std::string patchDir;                 // empty: /patch/patchv2.exe(.minisig) answers 404
  std::string clientVersion = "0.216";  // offered in [Version] Server
  int boostEvery = 10;                  // every Nth report of a machine gets a boost Code; 0 never
  std::string seedSerial = "KST-DEMO-0001";
  bool exitWithParent = false;  // stop once the program that started it has gone
  // Requests in progress at once; a burst of reports waits in the listen queue beyond it.
  int threads = 64;
  int headTimeoutMs = 5000;  // the whole request head must arrive within this
  // Connections open at once from one client address; 0: no limit (fleets and benches on
  // loopback all come from 127.0.0.1).
  int perAddressLimit = 0;
  // HTTPS instead of HTTP: a PEM certificate (chain) and its unencrypted key, both or neither.
  std::string tlsCert;
  std::string tlsKey;
};

using OptionsResult = command_line::Result<ServiceOptions>;

OptionsResult ParseOptions(const std::vector<std::string>& args);
std::string UsageText();
std::string VersionText();
