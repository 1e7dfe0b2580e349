#include <windows.h>
#include <timeapi.h>

#include "mining/worker_timer.h"

namespace {
using DescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);

// Thread descriptions exist from Windows 10 1607 on; older systems leave the thread unnamed.
DescriptionFunction SetDescription() {
  static const DescriptionFunction function = [] {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "SetThreadDescription") : nullptr;
    return reinterpret_cast<DescriptionFunction>(reinterpret_cast<void*>(found));
  }();
  return function;
}
}  // namespace

// The system timer ticks every 15.6 ms unless a program asks for less: waits would end
// only on those ticks, some 64 passes a second. A 1 ms period, held while the worker
// runs, makes every wait end on the next millisecond, as the client's schedule needs.
// The name lets debuggers and process viewers tell the worker from the other threads.
void PrepareWorkerThread() {
  timeBeginPeriod(1);
  if (const DescriptionFunction describe = SetDescription()) describe(GetCurrentThread(), L"miner-worker");
}

void ReleaseWorkerThread() { timeEndPeriod(1); }
