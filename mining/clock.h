#pragma once
// Time as the client sees it: the local wall clock, the tick count since boot and the
// calendar seconds used to seed the generator. Tests put in a clock set to any time.
// Waits with a time-out never use this clock; they run on std::chrono::steady_clock.
#include <cstdint>

struct WallTime {
  int hour = 0;         // 0-23
  int minute = 0;       // 0-59
  int second = 0;       // 0-59
  int millisecond = 0;  // 0-999
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual WallTime LocalTime() = 0;
  virtual uint32_t TickCount() = 0;       // milliseconds since boot, wrapping at 2^32
  virtual int64_t CalendarSeconds() = 0;  // seconds since 1970-01-01 00:00 UTC
  // How far the wall clock is into its current millisecond, 0-999 microseconds, so the
  // worker can wake as the next millisecond begins. A clock that cannot tell says 0,
  // and the worker then waits a whole millisecond.
  virtual int MicrosecondOfMillisecond() { return 0; }
};

// The machine's own clocks.
class SystemClock : public Clock {
 public:
  WallTime LocalTime() override;
  uint32_t TickCount() override;
  int64_t CalendarSeconds() override;
  int MicrosecondOfMillisecond() override;
};
