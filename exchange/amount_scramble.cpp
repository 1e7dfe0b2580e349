#include "exchange/amount_scramble.h"

#include <cstddef>

namespace {

// Non-negative remainder, so an out-of-range clock value cannot give a negative offset.
unsigned PositiveMod(int value, int divisor) {
  const int r = value % divisor;
  return static_cast<unsigned>(r < 0 ? r + divisor : r);
}

}  // namespace

std::string ScrambleAmount(std::string_view amountText, int hour, int minute) {
  const unsigned a = PositiveMod(hour, 3);
  const unsigned b = PositiveMod(minute, 5);
  const bool lateHalf = minute >= 30;
  std::string out;
  out.reserve(amountText.size());
  for (std::size_t i = 0; i < amountText.size(); ++i) {
    const auto byte = static_cast<unsigned char>(amountText[i]);
    if (byte == 0) break;
    // Only the low 8 bits of the offset matter, so reduce i first: no overflow for any length.
    const unsigned step = static_cast<unsigned>(i % 256);
    const unsigned offset = lateHalf ? b + a * step : a + b * step;
    const auto scrambled = static_cast<unsigned char>((byte + offset) & 0xFFu);
    if (scrambled == 0) break;
    out.push_back(static_cast<char>(scrambled));
  }
  return out;
}
