#pragma once
// The client's one pseudo-random generator, 0..32767 per draw.
#include <cstdint>

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void Seed(uint32_t seed) = 0;
  virtual int Draw() = 0;  // 0..32767
};

// The linear congruential generator of the Windows C runtime: after Seed(s) the draws
// are those rand() gives after srand(s), on every platform.
class CrtRandom : public RandomSource {
 public:
  void Seed(uint32_t seed) override { state_ = seed; }
  int Draw() override {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t state_ = 1;  // rand without srand behaves as srand(1)
};
