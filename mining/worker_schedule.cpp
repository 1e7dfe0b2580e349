#include "mining/worker_timer.h"

namespace {
// Waking a little after the boundary rather than on it: the wall clock and the
// monotonic clock the wait runs on are read at slightly different instants.
constexpr std::chrono::microseconds kMargin{20};
constexpr std::chrono::microseconds kShortestSpacing{900};
}  // namespace

std::chrono::steady_clock::time_point NextPassStart(std::chrono::steady_clock::time_point now,
                                                    std::chrono::steady_clock::time_point previousStart,
                                                    int microsecondOfMillisecond) {
  const int into =
      (microsecondOfMillisecond >= 0 && microsecondOfMillisecond < 1000) ? microsecondOfMillisecond : 0;
  const auto boundary = now + std::chrono::microseconds(1000 - into) + kMargin;
  const auto floor = previousStart + kShortestSpacing;
  return boundary > floor ? boundary : floor;
}
