#include "http/line_budget.h"

namespace http {

namespace {
constexpr std::chrono::seconds kWindow{1};
}  // namespace

LineBudget::Take LineBudget::One(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Take take;
  if (now - windowStart_ >= kWindow) {
    take.held = held_;
    held_ = 0;
    written_ = 0;
    windowStart_ = now;
  }
  if (written_ < perSecond_) {
    ++written_;
    take.write = true;
  } else {
    ++held_;
  }
  return take;
}

unsigned LineBudget::Over(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (held_ == 0 || now - windowStart_ < kWindow) return 0;
  const unsigned held = held_;
  held_ = 0;
  written_ = 0;
  windowStart_ = now;
  return held;
}

unsigned LineBudget::Rest() {
  std::lock_guard<std::mutex> lock(mutex_);
  const unsigned held = held_;
  held_ = 0;
  return held;
}

}  // namespace http
