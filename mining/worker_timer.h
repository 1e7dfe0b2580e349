#pragma once
// Set-up of the thread of a worker that waits 1 ms between passes.

// Called once on the worker's own thread, before its loop starts: names the thread
// "miner-worker" (as tools such as top -H show it) and makes its timed waits precise.
void PrepareWorkerThread();
