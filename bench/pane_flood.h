#pragma once
// A flood of log lines into the event pane, beside the mining pane's own thousand blocks a
// second: every millisecond `linesPerMs` numbered lines go through the client's window
// layer from a thread of its own, as a worker's appends do. The window must stay as cheap
// as without it: it applies only the tail the pane rule leaves, at its own pace.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "client/window_layer.h"
#include "probe_clock.h"

class PaneFlood {
 public:
  PaneFlood(WindowLayer& window, int linesPerMs) : window_(window), linesPerMs_(linesPerMs) {
    thread_ = std::thread([this] { Loop(); });
  }
  ~PaneFlood() { Finish(); }
  PaneFlood(const PaneFlood&) = delete;
  PaneFlood& operator=(const PaneFlood&) = delete;

  void Finish() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  uint64_t Lines() const { return lines_.load(std::memory_order_relaxed); }
  // The flood's own CPU seconds, as of its last millisecond.
  double CpuSeconds() const { return static_cast<double>(cpuMicros_.load(std::memory_order_relaxed)) / 1e6; }

 private:
  void Loop() {
    char line[96];
    auto next = std::chrono::steady_clock::now();
    while (!stop_.load()) {
      for (int i = 0; i < linesPerMs_; ++i) {
        const uint64_t n = lines_.fetch_add(1, std::memory_order_relaxed);
        std::snprintf(line, sizeof line, "Flood line %010llu: the event pane takes it all\r\n",
                      static_cast<unsigned long long>(n));
        window_.AppendToPane(LogPane::kEvent, line);
      }
      next += std::chrono::milliseconds(1);
      std::this_thread::sleep_until(next);
      cpuMicros_.store(static_cast<uint64_t>(ThreadCpuSeconds() * 1e6), std::memory_order_relaxed);
    }
  }

  WindowLayer& window_;
  const int linesPerMs_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> lines_{0};
  std::atomic<uint64_t> cpuMicros_{0};
  std::thread thread_;
};
