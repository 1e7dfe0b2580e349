#pragma once
// The command line of the bench programs that answer --help (doors-bench, mining-fleet),
// read with the project's command-line layer (core/command_line.h): --help lists the
// options with their defaults and ranges, a word the program cannot take names itself
// with the usage, an option given twice takes its last value.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/command_line.h"

// An app whose options show their defaults in --help.
inline void DescribeBenchOptions(CLI::App& app) {
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->always_capture_default();
  app.allow_extras();  // so that an unknown word is named in the error
  app.get_formatter()->column_width(30);
}

inline CLI::Option* AddPathOption(CLI::App& app, const char* name, std::string& target, const char* help) {
  return app.add_option(name, target, help)->type_name("PATH")->check(command_line::NotAnOption());
}

template <typename Number>
CLI::Option* AddNumberOption(CLI::App& app, const char* name, Number& target, Number min, Number max,
                             const char* help) {
  return app.add_option(name, target, help)->type_name("N")->check(CLI::Range(min, max));
}

// A wrong command line: what is wrong, then the usage; gives the exit status (2).
inline int WrongBenchCommandLine(const CLI::App& app, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n%s", app.get_name().c_str(), what.c_str(), app.help().c_str());
  return 2;
}

// Reads argv into the options bound to `app`. No value: the program runs; otherwise its
// exit status: 0 after --help, 2 after a wrong command line.
inline std::optional<int> ReadBenchCommandLine(CLI::App& app, int argc, char** argv) {
  std::string error;
  switch (command_line::Parse(app, nullptr, std::vector<std::string>(argv + 1, argv + argc), error)) {
    case command_line::Outcome::kRun:
    case command_line::Outcome::kVersion:  // no --version is bound
      return std::nullopt;
    case command_line::Outcome::kHelp: std::fputs(app.help().c_str(), stdout); return 0;
    case command_line::Outcome::kError: break;
  }
  return WrongBenchCommandLine(app, error);
}
