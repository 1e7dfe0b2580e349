// The worker's schedule, run against simulated clocks: with a true wall clock every
// millisecond gets exactly one pass, however late the scheduler wakes the worker, as
// long as the pass ends within the millisecond it began in; with a stuck, stepped or nonsensical clock the
// pace stays near one pass a millisecond, never a spin and never a stall.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "mining/worker_timer.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

struct Outcome {
  int passes = 0;
  std::set<int64_t> millisecondsHit;  // of the true wall clock
  int64_t firstMs = 0, lastMs = 0;
  int doubles = 0;  // a millisecond hit twice
  double simulatedSeconds = 0;
};

// Simulates `passes` passes. The wall clock runs `wallOffsetUs` ahead of the monotonic
// one; `reported` gives what the client's clock says of its microsecond for a true wall
// time (the identity for a true clock); `lateUs` how late the scheduler wakes pass i;
// each pass works 30 us before it computes its next wait.
Outcome Simulate(int passes, int64_t wallOffsetUs, const std::function<int(int64_t)>& reported,
                 const std::function<int(int)>& lateUs) {
  Outcome run;
  const Clock::time_point origin{};
  Clock::time_point start = origin + microseconds(5000);
  Clock::time_point previous = start;
  for (int i = 0; i < passes; ++i) {
    const Clock::time_point woke = start + microseconds(lateUs(i));
    const int64_t wallUs = (woke - origin) / microseconds(1) + wallOffsetUs;
    const int64_t ms = wallUs / 1000;
    if (!run.millisecondsHit.insert(ms).second) ++run.doubles;
    if (i == 0) run.firstMs = ms;
    run.lastMs = ms;
    const Clock::time_point now = woke + microseconds(30);
    const int64_t nowWall = (now - origin) / microseconds(1) + wallOffsetUs;
    previous = start;
    start = NextPassStart(now, previous, reported(nowWall));
    ++run.passes;
  }
  run.simulatedSeconds = static_cast<double>((start - (origin + microseconds(5000))) / microseconds(1)) / 1e6;
  return run;
}

int TrueMicrosecond(int64_t wallUs) { return static_cast<int>(wallUs % 1000); }

TEST(WorkerSchedule, EveryMillisecondOfATrueClockGetsOnePass) {
  struct Case {
    const char* name;
    int64_t offsetUs;
    std::function<int(int)> late;
  };
  const Case cases[] = {
      {"on time", 123456, [](int) { return 0; }},
      {"late by 0.3 ms", 987, [](int) { return 300; }},
      {"late by up to 0.9 ms, varying", 5, [](int i) { return (i * 7919) % 900; }},
      {"late by 0.94 ms every 10th pass", 499, [](int i) { return i % 10 == 0 ? 940 : 10; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome run = Simulate(5000, c.offsetUs, TrueMicrosecond, c.late);
    EXPECT_EQ(run.doubles, 0);
    // No millisecond between the first and the last pass was skipped.
    EXPECT_EQ(static_cast<int64_t>(run.millisecondsHit.size()), run.lastMs - run.firstMs + 1);
    EXPECT_EQ(run.passes, 5000);
  }
}

TEST(WorkerSchedule, AnOverrunPassDoesNotCatchUp) {
  // One pass runs 5 ms late: the milliseconds it missed stay missed, and the next passes
  // come once a millisecond again, not in a burst.
  const Outcome run = Simulate(2000, 0, TrueMicrosecond, [](int i) { return i == 100 ? 5000 : 0; });
  EXPECT_EQ(run.doubles, 0);
  EXPECT_EQ(static_cast<int64_t>(run.millisecondsHit.size()), run.lastMs - run.firstMs + 1 - 5);
}

TEST(WorkerSchedule, AFaultyClockNeitherSpinsNorStalls) {
  struct Case {
    const char* name;
    std::function<int(int64_t)> reported;
  };
  const Case cases[] = {
      {"stuck just before a boundary", [](int64_t) { return 999; }},
      {"stuck on a boundary (a test's clock)", [](int64_t) { return 0; }},
      {"out of range", [](int64_t) { return 123456; }},
      {"negative", [](int64_t) { return -1; }},
      {"running backwards", [](int64_t wallUs) { return static_cast<int>(999 - wallUs % 1000); }},
      {"stepped by 0.5 ms every pass",
       [](int64_t wallUs) { return static_cast<int>((wallUs * 3 + 500) % 1000); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome run = Simulate(10000, 777, c.reported, [](int) { return 0; });
    const double perSecond = run.passes / run.simulatedSeconds;
    EXPECT_GE(perSecond, 950.0);
    EXPECT_LE(perSecond, 1112.0);
  }
}

}  // namespace
