// The renderer's one pseudo-random generator (linear congruential, 15-bit output).
#pragma once

#include <cstdint>

class Random {
 public:
  void seed(std::uint32_t value) { state_ = value; }

  // An integer from 0 to 32767.
  int next() {
    state_ = state_ * 214013u + 2531011u;
    return int((state_ >> 16) & 0x7FFFu);
  }

  // A draw in [0, 1]: the output times the single-precision 1/32767.
  float draw() { return float(double(next()) * kDrawScale); }

 private:
  static constexpr float kDrawScale = float(1.0 / 32767.0);
  std::uint32_t state_ = 1;
};
