#include "daemon/daemon_options.h"

#include <arpa/inet.h>

#include <cstring>

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

// Folders are used as given; one that would read as an option is more likely a mistake.
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, std::string& value, std::string& error) {
  if (i + 1 >= args.size() || args[i + 1].empty()) {
    error = args[i] + " needs a value";
    return false;
  }
  value = args[++i];
  return true;
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

DaemonOptionsResult ParseDaemonOptions(const std::vector<std::string>& args) {
  DaemonOptionsResult result;
  DaemonOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (arg == "-h" || arg == "--help") {
      result.helpRequested = true;
      return result;
    } else if (arg == "--install-dir") {
      if (!TakeValue(args, i, options.installDir, result.error)) return result;
    } else if (arg == "--temp-dir") {
      if (!TakeValue(args, i, options.tempDir, result.error)) return result;
    } else if (arg == "--service-root") {
      if (!TakeValue(args, i, options.serviceRoot, result.error)) return result;
    } else if (arg == "--patch-root") {
      if (!TakeValue(args, i, options.patchRoot, result.error)) return result;
    } else if (arg == "--listen") {
      if (!TakeValue(args, i, value, result.error)) return result;
      options.listen = ParseListenAddress(value, result.error);
      if (!options.listen) return result;
    } else {
      result.error = "unknown option " + arg;
      return result;
    }
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

const char* DaemonUsageText() {
  return "usage: kestravon-minerd [options]\n"
         "  --install-dir DIR     folder of config.ini and the installer (default: the window client's)\n"
         "  --temp-dir DIR        private folder of the reply files and the view's token\n"
         "                        (default: derived from the install folder)\n"
         "  --listen HOST:PORT    serve the local view on a loopback address (127.0.0.1:PORT or\n"
         "                        [::1]:PORT; port 0 picks a free one); off by default\n"
         "  --service-root URL    scheme and host of the mining service (default: the build's)\n"
         "  --patch-root URL      scheme and host the installer comes from (default: the build's)\n"
         "SIGTERM or SIGINT ends the session: the worker stops, the service hears the machine\n"
         "go off, and the program exits 0.\n";
}
