#pragma once
// Watches exp from beside the worker: exp only grows when a pass at millisecond 100
// moves a nonzero gain into it, so a second in which it grew is a credited second.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>

#include "client/miner_core.h"
#include "probe_clock.h"

class ExperienceWatch {
 public:
  explicit ExperienceWatch(MinerCore& core) : core_(core) {
    thread_ = std::thread([this] { Loop(); });
  }
  ~ExperienceWatch() { Finish(); }
  ExperienceWatch(const ExperienceWatch&) = delete;
  ExperienceWatch& operator=(const ExperienceWatch&) = delete;

  void Finish() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  // Seconds of the wall clock in [from, to) in which exp grew.
  int CreditedSeconds(int64_t from, int64_t to) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return SecondsIn(credited_, from, to);
  }
  // The watch's own CPU seconds, known once it has finished.
  double CpuSeconds() const { return cpu_; }

 private:
  void Loop() {
    int32_t last = Exp();
    while (!stop_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(4));
      const int32_t exp = Exp();
      if (exp != last) {
        std::lock_guard<std::mutex> lock(mutex_);
        credited_.insert(WallSecond());
      }
      last = exp;
    }
    cpu_ = ThreadCpuSeconds();
  }
  int32_t Exp() {
    int32_t exp = 0;
    core_.WithState([&exp](MachineState& s) { exp = s.exp; });
    return exp;
  }

  MinerCore& core_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::set<int64_t> credited_;
  double cpu_ = 0;  // written by the thread before it ends
};
