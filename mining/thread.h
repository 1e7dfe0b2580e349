#pragma once
// The worker: one thread running a body it is given, the event it waits on and the
// running flag. Its owner holds one (composition, not a base class) and hands it the loop.
// The stop (Stop, also run by the destructor) clears `running`, wakes the worker,
// aborts a transfer under way and joins the thread before anything it uses goes away.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

#include "mining/wake_signal.h"

class Thread {
 public:
  // `body` runs on the worker thread each time it is started; it returns when `Running()`
  // turns false or a wait reports the stop.
  explicit Thread(std::function<void()> body) : body_(std::move(body)) {}
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the worker unless `running` is already set.
  void StartWorker();
  // Clears `running`, signals the wake event and joins the worker. Safe to call twice.
  void Stop();

  bool Running() const { return running_.load(); }
  // Set by the stop; long operations of the worker (a transfer) poll it to give up early.
  const std::atomic<bool>& StopRequested() const { return stopRequested_; }

  // For the body, on the worker thread:
  // Waits on the wake event for at most `ms` milliseconds (steady clock).
  // True when the event was signalled (the stop), false on a time-out.
  bool WaitForWake(int ms);
  // The same, until a point of the steady clock.
  bool WaitForWakeUntil(std::chrono::steady_clock::time_point deadline);
  // Resets the wake event to not signalled.
  void ResetWake();

 private:
  std::function<void()> body_;
  std::thread threadHandle_;
  WakeSignal wake_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
};
