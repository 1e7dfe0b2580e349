#pragma once
// The command line the pass-rate probes share: how long to measure, how long to measure
// the bare loop alone, how long to warm up, and where to write the summary.
#include <cstdlib>
#include <string>

struct ProbeOptions {
  int seconds = 30;
  int ceilingSeconds = 10;
  int warmUpSeconds = 3;
  std::string summaryPath;

  bool Valid() const { return seconds > 0 && ceilingSeconds > 0 && warmUpSeconds >= 0; }
};

// Takes the option at argv[i] (and its value, moving i past it) when it is one of the
// shared ones; false leaves i as it was for the probe's own options.
inline bool TakeProbeOption(int argc, char** argv, int& i, ProbeOptions& o) {
  const std::string a = argv[i];
  if (i + 1 >= argc) return false;
  if (a == "--seconds") {
    o.seconds = std::atoi(argv[++i]);
  } else if (a == "--ceiling-seconds") {
    o.ceilingSeconds = std::atoi(argv[++i]);
  } else if (a == "--warm-up") {
    o.warmUpSeconds = std::atoi(argv[++i]);
  } else if (a == "--summary") {
    o.summaryPath = argv[++i];
  } else {
    return false;
  }
  return true;
}
