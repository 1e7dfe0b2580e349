#include <windows.h>

#include <mutex>

#include "mining/wake_signal.h"

namespace {

// Windows 10 1803 and later: a timer whose waits end within a fraction of a millisecond
// of their due time, whatever the system's timer period. Older systems refuse the flag.
constexpr DWORD kHighResolutionTimer = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

HANDLE CreateWaitTimer() {
  HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
  if (timer == nullptr) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  return timer;
}

}  // namespace

// The wait functions take their time-outs in whole milliseconds, so the worker's waits of
// a millisecond and a little would last two (and std::condition_variable's timed wait in
// this build took about two even for half a millisecond). A waitable timer takes its due
// time in 100 ns units: the wait ends on the first timer tick after it (every millisecond
// at the worker's 1 ms timer period), or sooner on a high-resolution timer. Without a
// timer, the whole-millisecond wait remains.
// Each call on the event is a round trip to the system (under Wine, to its server), and
// the worker resets after every pass: `set` mirrors the event under the mutex, so a reset
// of an event that is not set costs nothing.
struct WakeSignal::State {
  std::mutex mutex;                                            // orders ResetWhile against Set
  bool set = false;                                            // what the event holds
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset: reset here
  HANDLE timer = CreateWaitTimer();
};

WakeSignal::WakeSignal() : state_(std::make_unique<State>()) {}

WakeSignal::~WakeSignal() {
  if (state_->timer != nullptr) CloseHandle(state_->timer);
  if (state_->event != nullptr) CloseHandle(state_->event);
}

void WakeSignal::Set() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->set = true;
  SetEvent(state_->event);
}

void WakeSignal::Reset() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->set) return;
  state_->set = false;
  ResetEvent(state_->event);
}

void WakeSignal::ResetWhile(const std::atomic<bool>& running) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!running.load() || !state_->set) return;
  state_->set = false;
  ResetEvent(state_->event);
}

bool WakeSignal::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left = deadline - std::chrono::steady_clock::now();
  const long long units = (std::chrono::duration_cast<std::chrono::nanoseconds>(left).count() + 99) / 100;
  DWORD result = WAIT_TIMEOUT;
  if (units <= 0) {
    result = WaitForSingleObject(state_->event, 0);
  } else {
    LARGE_INTEGER due;
    due.QuadPart = -units;  // negative: relative to now
    if (state_->timer != nullptr && SetWaitableTimer(state_->timer, &due, 0, nullptr, nullptr, FALSE)) {
      const HANDLE both[2] = {state_->event, state_->timer};
      result = WaitForMultipleObjects(2, both, FALSE, INFINITE);
    } else {
      const long long ms = (units + 9999) / 10000;
      result = WaitForSingleObject(state_->event, ms < INFINITE ? static_cast<DWORD>(ms) : INFINITE - 1);
    }
  }
  if (result != WAIT_OBJECT_0) return false;
  Reset();
  return true;
}
