#pragma once
// Set-up of the thread of a worker that wakes once a millisecond, and its schedule.
#include <chrono>

// Called once on the worker's own thread, before its loop starts: names the thread
// "miner-worker" (as tools such as top -H show it) and makes its timed waits precise
// (on Windows, a 1 ms timer period for as long as the worker runs).
void PrepareWorkerThread();
// Called on the worker's thread once its loop has ended: gives back what Prepare took.
void ReleaseWorkerThread();

// When the next pass begins: just as the wall clock's next millisecond begins, given
// how far the clock is into the current one (0-999 us; anything else is taken as 0),
// and never sooner than 0.9 ms after the previous pass began. For a true clock the
// floor never holds a pass back past its millisecond (a pass that began in millisecond
// m is followed by one in m + 1); for a stepped, stuck or faked clock it keeps the pace
// between about 980 and 1111 passes a second, so the worker neither spins nor stalls.
// A pass that ran past its millisecond does not catch up: the next one simply waits for
// the next boundary.
std::chrono::steady_clock::time_point NextPassStart(std::chrono::steady_clock::time_point now,
                                                    std::chrono::steady_clock::time_point previousStart,
                                                    int microsecondOfMillisecond);
