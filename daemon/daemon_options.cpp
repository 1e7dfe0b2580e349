#include "daemon/daemon_options.h"

#include <arpa/inet.h>

#include <cstring>

#include "core/command_line.h"

#ifndef KESTRAVON_VERSION
#define KESTRAVON_VERSION "unknown"
#endif

namespace {

bool ParsePort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return false;
  port = value;
  return true;
}

bool IsLoopbackV4(const std::string& host) {
  in_addr address{};
  if (inet_pton(AF_INET, host.c_str(), &address) != 1) return false;
  return (ntohl(address.s_addr) >> 24) == 127;
}

bool IsLoopbackV6(const std::string& host) {
  in6_addr address{};
  if (inet_pton(AF_INET6, host.c_str(), &address) != 1) return false;
  static const in6_addr loopback = IN6ADDR_LOOPBACK_INIT;
  return std::memcmp(&address, &loopback, sizeof address) == 0;
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(const std::string& text, std::string& error) {
  std::string host;
  std::string port;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      error = "--listen: expected [::1]:PORT";
      return std::nullopt;
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
    if (!IsLoopbackV6(host)) {
      error = "--listen: only a loopback address (127.0.0.1 or [::1]) is allowed, not " + text;
      return std::nullopt;
    }
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
      error = "--listen: expected HOST:PORT, such as 127.0.0.1:8300";
      return std::nullopt;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (!IsLoopbackV4(host)) {
      error = "--listen: only a loopback address (127.0.0.1 or [::1]) is allowed, not " + text;
      return std::nullopt;
    }
  }
  ListenAddress address;
  address.host = host;
  if (!ParsePort(port, address.port)) {
    error = "--listen: the port must be a number from 0 to 65535";
    return std::nullopt;
  }
  return address;
}

namespace {

struct DaemonApp {
  CLI::App app{
      "One simulated Mars mining machine without a window: the session of kestravon-miner,\n"
      "its event log on standard error.",
      "kestravon-minerd"};
  CLI::Option* version = nullptr;
  std::string listen;

  explicit DaemonApp(DaemonOptions& o) {
    // As before the library: an option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.allow_extras();
    app.get_formatter()->column_width(24);
    app.footer(
        "SIGTERM or SIGINT ends the session: the worker stops, the service hears the machine\n"
        "go off, and the program exits 0. Exit status 1: the session could not start (no\n"
        "serial number, no install folder, the view's port or token); 2: a wrong command line.");
    const auto text = [&](const char* name, std::string& target, const char* type, const char* help) {
      app.add_option(name, target, help)
          ->type_name(type)
          ->check(command_line::NotAnOption())
          ->check(command_line::NonEmpty());
    };
    text("--install-dir", o.installDir, "DIR",
         "folder of config.ini and the installer (default: the window client's)");
    text("--temp-dir", o.tempDir, "DIR",
         "private folder of the reply files and the view's token (default: derived from the install folder)");
    text("--listen", listen, "HOST:PORT",
         "serve the local view on a loopback address (127.0.0.1:PORT or [::1]:PORT; port 0 picks a free "
         "one); off by default");
    app.add_option("--per-address-limit", o.viewPerAddressLimit,
                   "the view's connections open at once from one client address, beyond which new ones "
                   "are closed (default 0: no limit)")
        ->type_name("N")
        ->check(command_line::NotAnOption())
        ->check(CLI::Range(0, 100000));
    text("--service-root", o.serviceRoot, "URL",
         "scheme and host of the mining service (default: the build's)");
    text("--patch-root", o.patchRoot, "URL",
         "scheme and host the installer comes from (default: the build's)");
    app.add_flag("--verbose", o.verbose,
                 "also log each request URL (it holds the serial number and the MAC address)");
    version = app.add_flag("--version")->description("print the version and exit");
  }
};

}  // namespace

DaemonOptionsResult ParseDaemonOptions(const std::vector<std::string>& args) {
  DaemonOptionsResult result;
  DaemonOptions options;
  DaemonApp described(options);
  if (!command_line::ParseInto(described.app, described.version, args, result)) return result;
  if (!described.listen.empty()) {
    options.listen = ParseListenAddress(described.listen, result.error);
    if (!options.listen) return result;
  }
  for (const std::string* root : {&options.serviceRoot, &options.patchRoot}) {
    if (!root->empty() && root->rfind("http://", 0) != 0 && root->rfind("https://", 0) != 0) {
      result.error = "a service or patch root starts with http:// or https://";
      return result;
    }
  }
  result.options = options;
  return result;
}

std::string DaemonUsageText() {
  DaemonOptions unused;
  DaemonApp described(unused);
  return described.app.help();
}

std::string DaemonVersionText() { return std::string("kestravon-minerd ") + KESTRAVON_VERSION + "\n"; }
