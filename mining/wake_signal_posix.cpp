#include <condition_variable>
#include <mutex>

#include "mining/wake_signal.h"

// The condition variable's timed wait ends within the thread's timer slack of the
// deadline (PrepareWorkerThread keeps that at 1 us for the worker).
struct WakeSignal::State {
  std::mutex mutex;
  std::condition_variable condition;
  bool set = false;  // guarded by mutex
};

WakeSignal::WakeSignal() : state_(std::make_unique<State>()) {}

WakeSignal::~WakeSignal() = default;

void WakeSignal::Set() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->set = true;
  }
  state_->condition.notify_all();
}

void WakeSignal::Reset() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->set = false;
}

void WakeSignal::ResetWhile(const std::atomic<bool>& running) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (running.load()) state_->set = false;
}

bool WakeSignal::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  const bool set = state_->condition.wait_until(lock, deadline, [this] { return state_->set; });
  if (set) state_->set = false;
  return set;
}
