#include "mining/thread.h"

#include "mining/worker_timer.h"

Thread::~Thread() { Stop(); }

void Thread::StartWorker() {
  if (running_.load()) return;
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    wakeSignalled_ = false;
  }
  stopRequested_.store(false);
  running_.store(true);
  threadHandle_ = std::thread([this] {
    PrepareWorkerThread();
    Run();
    ReleaseWorkerThread();
  });
}

void Thread::Stop() {
  running_.store(false);
  stopRequested_.store(true);
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    wakeSignalled_ = true;
  }
  wakeCondition_.notify_all();
  // The worker tests `running` after every pass and gives up a transfer when the stop is
  // requested, so this join ends promptly; it must finish before anything the worker
  // uses is released.
  if (threadHandle_.joinable() && threadHandle_.get_id() != std::this_thread::get_id()) {
    threadHandle_.join();
  }
}

bool Thread::WaitForWake(int ms) {
  std::unique_lock<std::mutex> lock(wakeMutex_);
  bool signalled = wakeCondition_.wait_for(lock, std::chrono::milliseconds(ms),
                                           [this] { return wakeSignalled_; });
  if (signalled) wakeSignalled_ = false;  // automatic reset
  return signalled;
}

bool Thread::WaitForWakeUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(wakeMutex_);
  bool signalled = wakeCondition_.wait_until(lock, deadline, [this] { return wakeSignalled_; });
  if (signalled) wakeSignalled_ = false;  // automatic reset
  return signalled;
}

void Thread::ResetWake() {
  // Only the stop signals the event, and the loop also tests `running`, so a reset here
  // can never swallow a stop.
  std::lock_guard<std::mutex> lock(wakeMutex_);
  if (running_.load()) wakeSignalled_ = false;
}
