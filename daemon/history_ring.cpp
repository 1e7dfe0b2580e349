#include "daemon/history_ring.h"

#include <algorithm>

HistoryRing::HistoryRing(std::size_t capacity) : points_(std::max<std::size_t>(capacity, 1)) {}

void HistoryRing::Add(const HistoryPoint& point) {
  std::lock_guard<std::mutex> lock(mutex_);
  points_[count_ % points_.size()] = point;
  ++count_;
}

std::vector<HistoryPoint> HistoryRing::Since(uint64_t from, uint64_t& first) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t oldest = count_ > points_.size() ? count_ - points_.size() : 0;
  first = std::clamp(from, oldest, count_);
  std::vector<HistoryPoint> out;
  out.reserve(count_ - first);
  for (uint64_t seq = first; seq < count_; ++seq) out.push_back(points_[seq % points_.size()]);
  return out;
}

uint64_t HistoryRing::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}
