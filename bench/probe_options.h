#pragma once
// The command line the pass-rate probes share: how long to measure, how long to measure
// the bare loop alone, how long to warm up, and where to write the summary. Read with
// the project's command-line layer (core/command_line.h), each probe adding its own.
#include <cstdio>
#include <string>
#include <vector>

#include "core/command_line.h"

struct ProbeOptions {
  int seconds = 30;
  int ceilingSeconds = 10;
  int warmUpSeconds = 3;
  std::string summaryPath;

  bool Valid() const { return seconds > 0 && ceilingSeconds > 0 && warmUpSeconds >= 0; }
};

// Binds the shared options to `app`; the probe adds its own before ParseProbeOptions.
inline void AddProbeOptions(CLI::App& app, ProbeOptions& o) {
  app.set_help_flag();  // no --help: a word the probe does not know prints its usage
  app.allow_extras();
  app.add_option("--seconds", o.seconds)->check(command_line::NotAnOption());
  app.add_option("--ceiling-seconds", o.ceilingSeconds)->check(command_line::NotAnOption());
  app.add_option("--warm-up", o.warmUpSeconds)->check(command_line::NotAnOption());
  app.add_option("--summary", o.summaryPath)->check(command_line::NotAnOption());
}

// Reads argv into the options bound to `app`. A word it cannot take prints `usage` (when
// given) and gives false; so does a value out of range, silently.
inline bool ParseProbeOptions(CLI::App& app, int argc, char** argv, const ProbeOptions& o,
                              const char* usage) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  if (command_line::Parse(app, nullptr, args, error) != command_line::Outcome::kRun) {
    if (usage != nullptr) std::fprintf(stderr, "%s\n", usage);
    return false;
  }
  return o.Valid();
}
