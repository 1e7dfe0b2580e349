#pragma once
// A generator that hands out queued values in order, then a fixed fallback value,
// and remembers every seed and how often it was drawn. Thread-safe.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "mining/random_source.h"

class ScriptedRandom : public RandomSource {
 public:
  explicit ScriptedRandom(int fallback = 0) : fallback_(fallback) {}

  void Seed(uint32_t seed) override {
    std::lock_guard<std::mutex> lock(mutex_);
    seeds_.push_back(seed);
  }
  int Draw() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++draws_;
    if (queue_.empty()) return fallback_;
    int value = queue_.front();
    queue_.pop_front();
    return value;
  }

  void Queue(std::initializer_list<int> values) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.insert(queue_.end(), values.begin(), values.end());
  }
  void Queue(const std::vector<int>& values) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.insert(queue_.end(), values.begin(), values.end());
  }
  void SetFallback(int value) {
    std::lock_guard<std::mutex> lock(mutex_);
    fallback_ = value;
  }

  std::vector<uint32_t> Seeds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seeds_;
  }
  std::size_t DrawCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return draws_;
  }
  std::size_t Queued() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::deque<int> queue_;
  int fallback_;
  std::vector<uint32_t> seeds_;
  std::size_t draws_ = 0;
};
