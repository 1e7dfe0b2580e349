#pragma once
// The ceiling of the worker's pace on this machine: the worker's own wait to the next
// millisecond boundary (the Thread base) in a loop that does nothing else but read the
// wall clock, as every pass of the worker does. It counts its passes and the seconds in which a pass read
// millisecond 100, the one pass of a second that credits experience.
#include <time.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>

#include "mining/thread.h"
#include "mining/worker_timer.h"

class BareLoop final : public Thread {
 public:
  ~BareLoop() override { Stop(); }

  uint64_t Passes() const { return passes_.load(std::memory_order_relaxed); }
  // Seconds (of CLOCK_REALTIME) in [from, to) in which a pass read millisecond 100.
  int SecondsWithMillisecond100(time_t from, time_t to) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (time_t s : seconds100_) n += (s >= from && s < to) ? 1 : 0;
    return n;
  }
  // CPU seconds the loop's thread has used, as of its last pass.
  double CpuSeconds() const { return cpuMicros_.load(std::memory_order_relaxed) / 1e6; }

 protected:
  void Run() override {
    time_t last100 = 0;
    auto passStart = std::chrono::steady_clock::now();
    while (Running()) {
      timespec wall{};
      clock_gettime(CLOCK_REALTIME, &wall);
      passStart = NextPassStart(std::chrono::steady_clock::now(), passStart,
                                static_cast<int>((wall.tv_nsec / 1000) % 1000));
      if (WaitForWakeUntil(passStart)) break;
      if (!Running()) break;
      timespec now{};
      clock_gettime(CLOCK_REALTIME, &now);
      if (now.tv_nsec / 1000000 == 100 && now.tv_sec != last100) {
        last100 = now.tv_sec;
        std::lock_guard<std::mutex> lock(mutex_);
        seconds100_.insert(now.tv_sec);
      }
      passes_.fetch_add(1, std::memory_order_relaxed);
      ResetWake();
      if ((passes_.load(std::memory_order_relaxed) & 63) == 0) NoteCpu();
    }
    NoteCpu();
  }

 private:
  void NoteCpu() {
    timespec cpu{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    cpuMicros_.store(static_cast<uint64_t>(cpu.tv_sec) * 1000000u + cpu.tv_nsec / 1000,
                     std::memory_order_relaxed);
  }

  std::atomic<uint64_t> passes_{0};
  std::atomic<uint64_t> cpuMicros_{0};
  mutable std::mutex mutex_;
  std::set<time_t> seconds100_;
};
