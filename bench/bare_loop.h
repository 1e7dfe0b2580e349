#pragma once
// The ceiling of the worker's pace on this machine: the worker's own wait to the next
// millisecond boundary (its Thread, clock and schedule) in a loop that does
// nothing else but read the wall clock, as every pass of the worker does. It counts its
// passes and the seconds in which a pass read millisecond 100, the one pass of a second
// that credits experience. With BareWait::kSleep it waits the system's plain 1 ms sleep
// instead, on a thread prepared as the worker's: what a loop that ignores the clock gets.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>

#include "mining/clock.h"
#include "mining/thread.h"
#include "mining/worker_timer.h"
#include "probe_clock.h"

enum class BareWait { kWorker, kSleep };

class BareLoop final {
 public:
  explicit BareLoop(BareWait wait = BareWait::kWorker) : wait_(wait) {}
  ~BareLoop() { Stop(); }

  void StartWorker() { worker_.StartWorker(); }
  void Stop() { worker_.Stop(); }

  uint64_t Passes() const { return passes_.load(std::memory_order_relaxed); }
  // Seconds (of the wall clock) in [from, to) in which a pass read millisecond 100.
  int SecondsWithMillisecond100(int64_t from, int64_t to) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return SecondsIn(seconds100_, from, to);
  }
  // CPU seconds the loop's thread has used, as of its last pass.
  double CpuSeconds() const { return static_cast<double>(cpuMicros_.load(std::memory_order_relaxed)) / 1e6; }

 private:
  void Run() {
    int64_t last100 = 0;
    auto passStart = std::chrono::steady_clock::now();
    while (worker_.Running()) {
      if (wait_ == BareWait::kWorker) {
        passStart =
            NextPassStart(std::chrono::steady_clock::now(), passStart, clock_.MicrosecondOfMillisecond());
        if (worker_.WaitForWakeUntil(passStart)) break;
      } else {
        SleepOneMillisecond();
      }
      if (!worker_.Running()) break;
      const int64_t now = WallMicroseconds();
      if ((now / 1000) % 1000 == 100 && now / 1000000 != last100) {
        last100 = now / 1000000;
        std::lock_guard<std::mutex> lock(mutex_);
        seconds100_.insert(last100);
      }
      passes_.fetch_add(1, std::memory_order_relaxed);
      if (wait_ == BareWait::kWorker) worker_.ResetWake();
      if ((passes_.load(std::memory_order_relaxed) & 63) == 0) NoteCpu();
    }
    NoteCpu();
  }

  void NoteCpu() {
    cpuMicros_.store(static_cast<uint64_t>(ThreadCpuSeconds() * 1e6), std::memory_order_relaxed);
  }

  const BareWait wait_;
  SystemClock clock_;
  std::atomic<uint64_t> passes_{0};
  std::atomic<uint64_t> cpuMicros_{0};
  mutable std::mutex mutex_;
  std::set<int64_t> seconds100_;
  Thread worker_{[this] { Run(); }};  // last: joined before the rest goes
};

struct LoopFigures {
  double passes = 0;  // per second
  double ms100 = 0;   // share of seconds with a pass at millisecond 100
  double cpu = 0;     // CPU seconds per wall second
};

// A bare loop alone for `seconds`.
inline LoopFigures MeasureBareLoop(int seconds, BareWait wait = BareWait::kWorker) {
  BareLoop bare(wait);
  const double t0 = MonotonicSeconds();
  const int64_t first = WallSecond() + 1;
  bare.StartWorker();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const int64_t end = WallSecond();
  bare.Stop();
  const double elapsed = MonotonicSeconds() - t0;
  LoopFigures f;
  f.passes = static_cast<double>(bare.Passes()) / elapsed;
  f.ms100 = end > first ? static_cast<double>(bare.SecondsWithMillisecond100(first, end)) /
                              static_cast<double>(end - first)
                        : 0;
  f.cpu = bare.CpuSeconds() / elapsed;
  return f;
}
