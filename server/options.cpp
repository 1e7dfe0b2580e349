#include "server/options.h"

#include <charconv>
#include <string_view>

#include "core/command_line.h"

#ifndef KESTRAVON_VERSION
#define KESTRAVON_VERSION "unknown"
#endif

namespace {

bool ParseNonNegative(std::string_view text, int max, int& out) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < 0 || value > max) return false;
  out = value;
  return true;
}

// Checked on the text before CLI11 converts it, so the message names the range.
CLI::Validator NumberIn(int min, int max) {
  return CLI::Validator(
      [min, max](std::string& text) {
        int value = 0;
        if (ParseNonNegative(text, max, value) && value >= min) return std::string();
        return "needs a number from " + std::to_string(min) + " to " + std::to_string(max) + ", not '" +
               text + "'";
      },
      "", "");
}

// Option texts end up in INI lines or SQL parameters; a line break would split a reply line.
CLI::Validator SingleLine() {
  return CLI::Validator(
      [](std::string& text) {
        return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos
                   ? std::string()
                   : std::string("must not hold a line break");
      },
      "", "");
}

struct ServiceApp {
  CLI::App app{"The local stand-in for the mining service the KESTRAVON MINER client talks to.",
               "mining-service"};
  CLI::Option* version = nullptr;

  explicit ServiceApp(ServiceOptions& o) {
    // As before the library: an option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.allow_extras();
    app.get_formatter()->column_width(26);
    const auto text = [&](const char* name, std::string& target, const char* type, const char* help) {
      app.add_option(name, target, help)
          ->type_name(type)
          ->check(command_line::NotAnOption())
          ->check(command_line::NonEmpty())
          ->check(SingleLine());
    };
    const auto number = [&](const char* name, int& target, int min, int max, const char* help) {
      app.add_option(name, target, help)
          ->type_name("N")
          ->check(command_line::NotAnOption())
          ->check(NumberIn(min, max));
    };
    number("--port", o.port, 0, 65535, "TCP port (default 8216; 0 picks a free port)");
    text("--bind", o.bindAddress, "ADDR", "address to listen on (default 127.0.0.1)");
    text("--db", o.databasePath, "PATH|URI",
         "SQLite database file (default mining-service.db), or a PostgreSQL database as "
         "postgresql://user@host:port/name");
    text("--tls-cert", o.tlsCert, "FILE", "serve HTTPS with this PEM certificate (chain); needs --tls-key");
    text("--tls-key", o.tlsKey, "FILE", "the PEM private key of --tls-cert, unencrypted");
    text("--patch-dir", o.patchDir, "DIR",
         "folder holding patchv2.exe and its signature patchv2.exe.minisig, served at "
         "/patch/patchv2.exe and /patch/patchv2.exe.minisig");
    text("--client-version", o.clientVersion, "TEXT",
         "client version offered in [Version] Server (default 0.216)");
    number("--boost-every", o.boostEvery, 0, 1000000000,
           "every Nth report of a machine gets a boost Code (default 10; 0 never)");
    text("--seed-serial", o.seedSerial, "TEXT",
         "serial number of the demo machine seeded on first start (default KST-DEMO-0001)");
    app.add_flag("--exit-with-parent", o.exitWithParent,
                 "stop, as on SIGTERM, once the program that started it has gone");
    number("--threads", o.threads, 1, 1024, "requests handled at once (default 64)");
    number("--head-timeout-ms", o.headTimeoutMs, 1, 600000,
           "time for a request's head to arrive, in milliseconds (default 5000)");
    number("--per-address-limit", o.perAddressLimit, 0, 1000000,
           "connections open at once from one client address, beyond which new ones are closed "
           "(default 0: no limit)");
    version = app.add_flag("--version")->description("print the version and exit");
  }
};

}  // namespace

std::string UsageText() {
  ServiceOptions unused;
  ServiceApp described(unused);
  return described.app.help();
}

std::string VersionText() { return std::string("mining-service ") + KESTRAVON_VERSION + "\n"; }

OptionsResult ParseOptions(const std::vector<std::string>& args) {
  OptionsResult result;
  ServiceOptions options;
  ServiceApp described(options);
  if (!command_line::ParseInto(described.app, described.version, args, result)) return result;
  if (options.tlsCert.empty() != options.tlsKey.empty()) {
    result.error = "--tls-cert and --tls-key go together";
    return result;
  }
  result.options = options;
  return result;
}
