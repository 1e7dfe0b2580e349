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

namespace {
using PreciseTimeFunction = VOID(WINAPI*)(LPFILETIME);

// The precise system time exists from Windows 8 on; without it the worker waits whole
// milliseconds, which the 1 ms timer period lines up with the clock's own ticks.
PreciseTimeFunction PreciseSystemTime() {
  static const PreciseTimeFunction function = [] {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime") : nullptr;
    return reinterpret_cast<PreciseTimeFunction>(reinterpret_cast<void*>(found));
  }();
  return function;
}
}  // namespace

int SystemClock::MicrosecondOfMillisecond() {
  const PreciseTimeFunction precise = PreciseSystemTime();
  if (precise == nullptr) return 0;
  FILETIME ft;
  precise(&ft);
  const ULONGLONG units = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<int>((units / 10) % 1000);  // 100 ns units
}
