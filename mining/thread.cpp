#include "mining/thread.h"

#include "mining/worker_timer.h"

Thread::~Thread() { Stop(); }

void Thread::StartWorker() {
  if (running_.load()) return;
  wake_.Reset();
  stopRequested_.store(false);
  running_.store(true);
  threadHandle_ = std::thread([this] {
    PrepareWorkerThread();
    body_();
    ReleaseWorkerThread();
  });
}

void Thread::Stop() {
  running_.store(false);
  stopRequested_.store(true);
  wake_.Set();
  // The worker tests `running` after every pass and gives up a transfer when the stop is
  // requested, so this join ends promptly; it must finish before anything the worker
  // uses is released.
  if (threadHandle_.joinable() && threadHandle_.get_id() != std::this_thread::get_id()) {
    threadHandle_.join();
  }
}

bool Thread::WaitForWake(int ms) {
  return wake_.WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

bool Thread::WaitForWakeUntil(std::chrono::steady_clock::time_point deadline) {
  return wake_.WaitUntil(deadline);
}

void Thread::ResetWake() {
  // Only the stop signals the event, and the loop also tests `running`, so a reset here
  // can never swallow a stop.
  wake_.ResetWhile(running_);
}
