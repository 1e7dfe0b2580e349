#include "mining/worker_timer.h"

// Waits end on the system timer's ticks here; the thread has no slack of its own to set.
void PrepareWorkerThread() {}
