#include <windows.h>

#include <ctime>

#include "mining/clock.h"

WallTime SystemClock::LocalTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  WallTime t;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  return t;
}

uint32_t SystemClock::TickCount() { return GetTickCount(); }

int64_t SystemClock::CalendarSeconds() { return static_cast<int64_t>(std::time(nullptr)); }
