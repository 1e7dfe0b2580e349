#include "server/options.h"

#include <charconv>
#include <cstddef>
#include <string_view>

namespace {

bool ParseNonNegative(std::string_view text, int max, int& out) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < 0 || value > max) return false;
  out = value;
  return true;
}

// Option texts end up in INI lines or SQL parameters; a line break would split a reply line.
bool IsSingleLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

const char* UsageText() {
  return "usage: mining-service [--port N] [--bind ADDR] [--db PATH] [--patch-dir DIR]\n"
         "                      [--client-version TEXT] [--boost-every N] [--seed-serial TEXT]\n"
         "                      [--exit-with-parent] [--threads N] [--head-timeout-ms N]\n"
         "  --port N              TCP port (default 8216; 0 picks a free port)\n"
         "  --bind ADDR           address to listen on (default 127.0.0.1)\n"
         "  --db PATH|URI         SQLite database file (default mining-service.db), or a\n"
         "                        PostgreSQL database as postgresql://user@host:port/name\n"
         "  --patch-dir DIR       folder holding patchv2.exe and its signature patchv2.exe.minisig,\n"
         "                        served at /patch/patchv2.exe and /patch/patchv2.exe.minisig\n"
         "  --client-version TEXT client version offered in [Version] Server (default 0.216)\n"
         "  --boost-every N       every Nth report of a machine gets a boost Code (default 10; 0 never)\n"
         "  --seed-serial TEXT    serial number of the demo machine seeded on first start\n"
         "  --exit-with-parent    stop, as on SIGTERM, once the program that started it has gone\n"
         "  --threads N           requests handled at once (default 64, 1 to 1024)\n"
         "  --head-timeout-ms N   time for a request's head to arrive (default 5000)\n";
}

OptionsResult ParseOptions(const std::vector<std::string>& args) {
  OptionsResult result;
  ServiceOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (name == "--help" || name == "-h") {
      result.helpRequested = true;
      return result;
    }
    if (name == "--exit-with-parent") {
      options.exitWithParent = true;
      continue;
    }
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    } else if (i + 1 < args.size()) {
      value = args[i + 1];
      hasValue = true;
      ++i;
    }
    const bool known = name == "--port" || name == "--bind" || name == "--db" ||
                       name == "--patch-dir" || name == "--client-version" ||
                       name == "--boost-every" || name == "--seed-serial" ||
                       name == "--threads" || name == "--head-timeout-ms";
    if (!known) {
      result.error = "unknown option '" + name + "'";
      return result;
    }
    if (!hasValue) {
      result.error = "option " + name + " needs a value";
      return result;
    }
    if (!IsSingleLine(value)) {
      result.error = "option " + name + " must not hold a line break";
      return result;
    }
    if (name == "--port") {
      if (!ParseNonNegative(value, 65535, options.port)) {
        result.error = "--port needs a number from 0 to 65535, not '" + value + "'";
        return result;
      }
    } else if (name == "--boost-every") {
      if (!ParseNonNegative(value, 1000000000, options.boostEvery)) {
        result.error = "--boost-every needs a number from 0 up, not '" + value + "'";
        return result;
      }
    } else if (name == "--threads") {
      if (!ParseNonNegative(value, 1024, options.threads) || options.threads == 0) {
        result.error = "--threads needs a number from 1 to 1024, not '" + value + "'";
        return result;
      }
    } else if (name == "--head-timeout-ms") {
      if (!ParseNonNegative(value, 600000, options.headTimeoutMs) || options.headTimeoutMs == 0) {
        result.error = "--head-timeout-ms needs a number from 1 to 600000, not '" + value + "'";
        return result;
      }
    } else if (value.empty()) {
      result.error = "option " + name + " needs a non-empty value";
      return result;
    } else if (name == "--bind") {
      options.bindAddress = value;
    } else if (name == "--db") {
      options.databasePath = value;
    } else if (name == "--patch-dir") {
      options.patchDir = value;
    } else if (name == "--client-version") {
      options.clientVersion = value;
    } else if (name == "--seed-serial") {
      options.seedSerial = value;
    }
  }
  result.options = options;
  return result;
}
