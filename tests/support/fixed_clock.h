#pragma once
// A clock that reads whatever the test set: local time, tick count, calendar seconds.
// Safe to set from the test's thread while the worker reads it; counts the readings of the
// local time, so a test can tell that a pass begun after a change has read it.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "mining/clock.h"

class FixedClock : public Clock {
 public:
  FixedClock() = default;
  FixedClock(int hour, int minute, int second, int millisecond) {
    SetLocalTime(hour, minute, second, millisecond);
  }

  WallTime LocalTime() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++localReads_;
    return local_;
  }
  std::size_t LocalTimeReads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return localReads_;
  }
  uint32_t TickCount() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return tick_;
  }
  int64_t CalendarSeconds() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return calendarSeconds_;
  }

  void SetLocalTime(const WallTime& time) {
    std::lock_guard<std::mutex> lock(mutex_);
    local_ = time;
  }
  void SetLocalTime(int hour, int minute, int second, int millisecond) {
    WallTime time;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    time.millisecond = millisecond;
    SetLocalTime(time);
  }
  void SetTickCount(uint32_t tick) {
    std::lock_guard<std::mutex> lock(mutex_);
    tick_ = tick;
  }
  void SetCalendarSeconds(int64_t seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    calendarSeconds_ = seconds;
  }

 private:
  std::mutex mutex_;
  WallTime local_;
  std::size_t localReads_ = 0;
  uint32_t tick_ = 0;
  int64_t calendarSeconds_ = 0;
};
