#pragma once
// How many lines about one kind of event a log may take per second. A flood of such
// events (a thousand refused connections a second) would otherwise make the log its
// own cost: beyond the budget events are only counted, and the count is told once the
// second is over.
#include <chrono>
#include <mutex>

namespace http {

class LineBudget {
 public:
  using Clock = std::chrono::steady_clock;

  explicit LineBudget(unsigned perSecond) : perSecond_(perSecond) {}

  struct Take {
    bool write = false;  // this event gets a line of its own
    unsigned held = 0;   // events counted, not written, in the second that just ended
  };
  // One more event at `now`.
  Take One(Clock::time_point now);
  // The events held back in a second that is over by `now` (0 when none); they are
  // told only once.
  unsigned Over(Clock::time_point now);
  // Whatever is held back, the second over or not (when the log is about to end).
  unsigned Rest();

 private:
  const unsigned perSecond_;
  std::mutex mutex_;
  Clock::time_point windowStart_{};
  unsigned written_ = 0;
  unsigned held_ = 0;
};

}  // namespace http
