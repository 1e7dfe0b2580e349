#pragma once
// The last hour of the machine, one point a second, for the page's charts. The ring is
// allocated once and never grows: a point older than its capacity is overwritten.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

struct HistoryPoint {
  int64_t second = 0;          // wall-clock second (Unix time) the point was taken in
  double passesPerSecond = 0;  // the worker's passes since the point before; NaN for the first
  double coinAmount = 0;       // the machine's KEST
  int fuel = 0;
  int experience = 0;
};

class HistoryRing {
 public:
  static constexpr std::size_t kHourOfSeconds = 3600;

  explicit HistoryRing(std::size_t capacity = kHourOfSeconds);

  // Adds a point; once full, the oldest goes.
  void Add(const HistoryPoint& point);

  // The points still kept whose sequence number (0 for the first point ever added) is at
  // least `from`, oldest first. `first` gets the sequence number of the first one returned
  // (or of the next point to come, when none is returned).
  std::vector<HistoryPoint> Since(uint64_t from, uint64_t& first) const;

  // Points ever added: the sequence number the next point will get.
  uint64_t Count() const;
  std::size_t Capacity() const { return points_.size(); }

 private:
  mutable std::mutex mutex_;
  std::vector<HistoryPoint> points_;
  uint64_t count_ = 0;
};
