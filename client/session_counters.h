#pragma once
// Running totals of one session for whoever watches the client from outside (the
// headless program's metrics). Each is one relaxed increment where it happens; nothing
// in the client reads them back.
#include <atomic>
#include <cstdint>

struct SessionCounts {
  uint64_t miningSteps = 0;
  uint64_t reportsSent = 0;     // reports past the gate whose request went out
  uint64_t reportsFailed = 0;   // of those, the ones without a usable answer
  uint64_t updateAttempts = 0;  // self-updates started after an offered version
};

class SessionCounters {
 public:
  void CountStep() { miningSteps_.fetch_add(1, std::memory_order_relaxed); }
  void CountReport() { reportsSent_.fetch_add(1, std::memory_order_relaxed); }
  void CountFailedReport() { reportsFailed_.fetch_add(1, std::memory_order_relaxed); }
  void CountUpdateAttempt() { updateAttempts_.fetch_add(1, std::memory_order_relaxed); }

  SessionCounts Read() const {
    SessionCounts counts;
    counts.miningSteps = miningSteps_.load(std::memory_order_relaxed);
    counts.reportsSent = reportsSent_.load(std::memory_order_relaxed);
    counts.reportsFailed = reportsFailed_.load(std::memory_order_relaxed);
    counts.updateAttempts = updateAttempts_.load(std::memory_order_relaxed);
    return counts;
  }

 private:
  std::atomic<uint64_t> miningSteps_{0};
  std::atomic<uint64_t> reportsSent_{0};
  std::atomic<uint64_t> reportsFailed_{0};
  std::atomic<uint64_t> updateAttempts_{0};
};
