// Windows' headers in the order they need each other, which is not sorted.
// clang-format off
#include <windows.h>
#include <timeapi.h>
// clang-format on

#include "mining/worker_timer.h"

namespace {
using DescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using SetInformationFunction = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

// A kernel32 function that older systems lack; null there.
template <typename Function>
Function KernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  FARPROC found = kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

// Since Windows 11 a process whose windows are all minimized or hidden may lose the timer
// period it asked for, unless it says it must keep it; a miner is mostly left minimized.
// The call exists from Windows 8 on and ignores the flag before Windows 11.
void KeepTimerPeriodWhenHidden() {
  static const auto set = KernelFunction<SetInformationFunction>("SetProcessInformation");
  if (set == nullptr) return;
  PROCESS_POWER_THROTTLING_STATE state{};
  state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
  state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
  state.StateMask = 0;  // the flag under control, and off: the period is honoured
  set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}
}  // namespace

// The system timer ticks every 15.6 ms unless a program asks for less: waits would end
// only on those ticks, some 64 passes a second. A 1 ms period, held while the worker
// runs, makes every wait end on the next millisecond, as the client's schedule needs.
// The name lets debuggers and process viewers tell the worker from the other threads.
void PrepareWorkerThread() {
  KeepTimerPeriodWhenHidden();
  timeBeginPeriod(1);
  // Thread descriptions exist from Windows 10 1607 on; older systems leave it unnamed.
  static const auto describe = KernelFunction<DescriptionFunction>("SetThreadDescription");
  if (describe != nullptr) describe(GetCurrentThread(), L"miner-worker");
}

void ReleaseWorkerThread() { timeEndPeriod(1); }
