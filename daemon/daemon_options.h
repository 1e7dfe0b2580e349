#pragma once
// Command line of kestravon-minerd.
#include <optional>
#include <string>
#include <vector>

#include "core/command_line_result.h"

struct ListenAddress {
  std::string host;  // a loopback literal: 127.x.y.z or ::1
  int port = 0;      // 0 lets the system choose (the chosen port is printed)
};

struct DaemonOptions {
  std::string installDir;               // empty: the window client's install folder
  std::string tempDir;                  // empty: derived from the install folder
  std::optional<ListenAddress> listen;  // the local view; off unless asked for
  // The view's connections open at once from one client address; 0: no limit (every
  // local user and scraper comes from the same loopback address).
  int viewPerAddressLimit = 0;
  std::string serviceRoot;  // empty: the build's
  std::string patchRoot;    // empty: the build's
  bool verbose = false;     // request URLs (serial number, MAC) on standard error too
};

using DaemonOptionsResult = command_line::Result<DaemonOptions>;

DaemonOptionsResult ParseDaemonOptions(const std::vector<std::string>& args);
std::string DaemonUsageText();
std::string DaemonVersionText();

// "127.0.0.1:8300" or "[::1]:8300". Anything that is not a loopback address literal with a
// port 0-65535 is refused: the view is for this machine only, and a host name could
// resolve to anything.
std::optional<ListenAddress> ParseListenAddress(const std::string& text, std::string& error);
