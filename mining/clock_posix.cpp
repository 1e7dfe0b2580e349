#include <sys/time.h>

#include <ctime>

#include "mining/clock.h"

WallTime SystemClock::LocalTime() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm local;
  localtime_r(&ts.tv_sec, &local);
  WallTime t;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second reads as 59
  t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return t;
}

uint32_t SystemClock::TickCount() {
  struct timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

int64_t SystemClock::CalendarSeconds() { return static_cast<int64_t>(time(nullptr)); }

int SystemClock::MicrosecondOfMillisecond() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int>((ts.tv_nsec / 1000) % 1000);
}
