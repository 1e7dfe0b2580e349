#pragma once
// Turns the session's figures, read once a second, into points of the history ring. The
// worker's pass count is a running total; the chart wants passes per second, so each
// point divides the passes since the reading before by the time between the two.
#include <cstdint>
#include <optional>

#include "daemon/history_ring.h"

struct HistoryReading {
  double monotonicSeconds = 0;  // when it was read, on a clock no one sets
  int64_t wallSecond = 0;       // the same moment on the wall clock, for the chart's axis
  uint64_t workerPasses = 0;
  double coinAmount = 0;
  int fuel = 0;
  int experience = 0;
};

class HistorySampler {
 public:
  explicit HistorySampler(HistoryRing& ring) : ring_(ring) {}

  // Adds the point of `reading` to the ring. The first reading has no rate (NaN), and
  // neither has one that does not come after the one before on the monotonic clock.
  void Sample(const HistoryReading& reading);

 private:
  HistoryRing& ring_;
  std::optional<HistoryReading> last_;
};
