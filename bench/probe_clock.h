#pragma once
// The clocks the benchmark programs read, on each platform: the wall clock to the
// microsecond (which millisecond a pass landed in), a monotonic clock for rates, CPU
// time of the process and of the calling thread, and a plain 1 ms sleep.
#include <cstdint>
#include <iterator>
#include <set>

// Microseconds since 1970-01-01 00:00 UTC.
int64_t WallMicroseconds();
inline int64_t WallSecond() { return WallMicroseconds() / 1000000; }
// How many of `seconds` (of the wall clock) lie in [from, to).
inline int SecondsIn(const std::set<int64_t>& seconds, int64_t from, int64_t to) {
  return static_cast<int>(std::distance(seconds.lower_bound(from), seconds.lower_bound(to)));
}
// Seconds of a clock that never steps, from an arbitrary origin.
double MonotonicSeconds();
// CPU seconds (user + system) of this process since it started.
double ProcessCpuSeconds();
// CPU seconds of the calling thread.
double ThreadCpuSeconds();
// The system's own 1 ms sleep, as a program that knows nothing of the clock would wait.
void SleepOneMillisecond();
