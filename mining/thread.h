#pragma once
// The worker base: one thread, the event it waits on and the running flag.
// The stop (Stop, also run by the destructor) clears `running`, wakes the worker,
// aborts a transfer under way and joins the thread before anything it uses goes away.
#include <atomic>
#include <chrono>
#include <thread>

#include "mining/wake_signal.h"

class Thread {
 public:
  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the worker unless `running` is already set.
  void StartWorker();
  // Clears `running`, signals the wake event and joins the worker. Safe to call twice.
  void Stop();

  bool Running() const { return running_.load(); }
  // Set by the stop; long operations of the worker (a transfer) poll it to give up early.
  const std::atomic<bool>& StopRequested() const { return stopRequested_; }

 protected:
  // The body of the worker thread.
  virtual void Run() {}
  // Waits on the wake event for at most `ms` milliseconds (steady clock).
  // True when the event was signalled (the stop), false on a time-out.
  bool WaitForWake(int ms);
  // The same, until a point of the steady clock.
  bool WaitForWakeUntil(std::chrono::steady_clock::time_point deadline);
  // Resets the wake event to not signalled.
  void ResetWake();

 private:
  std::thread threadHandle_;
  WakeSignal wake_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
};
