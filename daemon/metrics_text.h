#pragma once
// The session's figures in the Prometheus text format: totals as counters (a scraper
// turns them into rates), the machine's current values as gauges.
#include <cstdint>
#include <string>

#include "client/session_counters.h"

struct MetricsInput {
  uint64_t workerPasses = 0;
  SessionCounts counts;
  double machineKest = 0;
  int fuel = 0;
  int exp = 0;
  int onOff = 0;
  double uptimeSeconds = 0;
};

std::string MetricsText(const MetricsInput& input);

// A sample value as the format spells it: NaN, +Inf and -Inf by name, anything else
// with enough digits to read back the same double.
std::string MetricValue(double value);
