// The worker's wake signal on this platform's own timer: a set signal ends a wait with a
// distant deadline and is consumed by it, a deadline ends a wait that nothing set, and a
// reset while running never swallows a stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "mining/wake_signal.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Far enough that a test reaching it has hung rather than waited.
Clock::time_point Distant() { return Clock::now() + 60s; }

TEST(WakeSignal, ASetSignalEndsTheWaitOnceAndIsThenReset) {
  WakeSignal wake;
  wake.Set();
  EXPECT_TRUE(wake.WaitUntil(Distant()));
  // Consumed: the next wait runs to its deadline, one already past or a short one ahead.
  EXPECT_FALSE(wake.WaitUntil(Clock::now() - 1ms));
  EXPECT_FALSE(wake.WaitUntil(Clock::now() + 2ms));
}

TEST(WakeSignal, ADeadlineEndsAWaitThatNothingSet) {
  WakeSignal wake;
  for (auto ahead : {0us, 300us, 1020us, 5000us}) {
    SCOPED_TRACE(ahead.count());
    EXPECT_FALSE(wake.WaitUntil(Clock::now() + ahead));
  }
  EXPECT_FALSE(wake.WaitUntil(Clock::now() - 1s));
}

TEST(WakeSignal, ASetFromAnotherThreadEndsAWaitUnderWay) {
  WakeSignal wake;
  std::atomic<bool> woke{false};
  std::thread waiter([&] { woke.store(wake.WaitUntil(Distant())); });
  std::this_thread::sleep_for(20ms);  // most likely inside the wait by now; either way it must end
  wake.Set();
  waiter.join();
  EXPECT_TRUE(woke.load());
}

TEST(WakeSignal, ResetWhileRunningKeepsAStopThatClearedTheFlagFirst) {
  WakeSignal wake;
  std::atomic<bool> running{true};
  wake.Set();
  wake.ResetWhile(running);
  EXPECT_FALSE(wake.WaitUntil(Clock::now())) << "a reset while running clears the signal";

  running.store(false);  // the stop: first the flag, then the signal
  wake.Set();
  wake.ResetWhile(running);
  EXPECT_TRUE(wake.WaitUntil(Distant())) << "the stop's signal survived the reset";

  wake.Set();
  wake.Reset();
  EXPECT_FALSE(wake.WaitUntil(Clock::now()));
}

}  // namespace
