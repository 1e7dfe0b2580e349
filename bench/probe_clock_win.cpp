#include <windows.h>

#include "probe_clock.h"

namespace {

uint64_t Units(const FILETIME& ft) {  // 100 ns units
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// Kernel plus user time of a GetProcessTimes/GetThreadTimes answer, in seconds.
double CpuSeconds(const FILETIME& kernel, const FILETIME& user) {
  return static_cast<double>(Units(kernel) + Units(user)) / 1e7;
}

constexpr uint64_t kUnitsFrom1601To1970 = 116444736000000000ull;

using SystemTimeFunction = VOID(WINAPI*)(LPFILETIME);

// The precise system time exists from Windows 8 on; before, the time of the last tick.
SystemTimeFunction SystemTime() {
  static const SystemTimeFunction function = [] {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime") : nullptr;
    return found != nullptr ? reinterpret_cast<SystemTimeFunction>(reinterpret_cast<void*>(found))
                            : &GetSystemTimeAsFileTime;
  }();
  return function;
}

}  // namespace

int64_t WallMicroseconds() {
  FILETIME ft;
  SystemTime()(&ft);
  return static_cast<int64_t>((Units(ft) - kUnitsFrom1601To1970) / 10);
}

double MonotonicSeconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency;
}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  return CpuSeconds(kernel, user);
}

double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return -1;
  return CpuSeconds(kernel, user);
}

void SleepOneMillisecond() { Sleep(1); }
