#include <windows.h>
#include <timeapi.h>

#include "mining/worker_timer.h"

// The system timer ticks every 15.6 ms unless a program asks for less: waits would end
// only on those ticks, some 64 passes a second. A 1 ms period, held while the worker
// runs, makes every wait end on the next millisecond, as the client's schedule needs.
void PrepareWorkerThread() { timeBeginPeriod(1); }

void ReleaseWorkerThread() { timeEndPeriod(1); }
