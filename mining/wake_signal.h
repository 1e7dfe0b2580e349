#pragma once
// The event a worker waits on between passes: only the stop sets it. A wait ends when it
// is set or at a point of the steady clock, whichever comes first, and a wait that saw it
// set resets it. The timed end is what paces the worker once a millisecond, so each
// platform waits with the most precise timer it has.
#include <atomic>
#include <chrono>
#include <memory>

class WakeSignal {
 public:
  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  void Set();
  void Reset();
  // Resets only while `running` holds, read under the same lock Set takes: a stop that
  // clears `running` before it sets the signal is never swallowed.
  void ResetWhile(const std::atomic<bool>& running);
  // True when the signal was set (and is now reset), false when the deadline came.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
