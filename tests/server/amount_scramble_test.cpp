#include "exchange/amount_scramble.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ScrambleCase {
  const char* amount;
  int hour;
  int minute;
  std::string expected;
};

class ScrambleTable : public ::testing::TestWithParam<ScrambleCase> {};

TEST_P(ScrambleTable, ShiftsEachByteByTheClocksOffsets) {
  const ScrambleCase& c = GetParam();
  EXPECT_EQ(ScrambleAmount(c.amount, c.hour, c.minute), c.expected)
      << c.amount << " at " << c.hour << ":" << c.minute;
}

INSTANTIATE_TEST_SUITE_P(Clock, ScrambleTable,
                         ::testing::Values(
                             // a = 1, b = 2, before minute 30: offset 1 + 2i.
                             ScrambleCase{"25.000000", 10, 12, "38379;=?A"},
                             // a = 1, b = 3, from minute 30: offset 3 + i.
                             ScrambleCase{"25.000000", 13, 33, "5936789:;"},
                             // a = b = 0: nothing moves.
                             ScrambleCase{"25.000000", 12, 45, "25.000000"},
                             ScrambleCase{"25.000000", 9, 0, "25.000000"},
                             // Minute 27 (a = 2, b = 2) uses a + b*i; minute 30 (a = 2, b = 0) uses b + a*i.
                             ScrambleCase{"1111", 14, 27, "3579"}, ScrambleCase{"1111", 14, 30, "1357"},
                             // With a = 1, b = 2 the two rules part: 1 + 2i at minute 27, 2 + i at minute 32.
                             ScrambleCase{"1111", 13, 27, "2468"}, ScrambleCase{"1111", 13, 32, "3456"},
                             ScrambleCase{"", 10, 12, ""}));

TEST(ScrambleAmount, WrapsPastTheTopByte) {
  // Offsets 2, 3, 4 (a = 2, b = 1, minute 1): 0xFD -> 0xFF, 0xFE -> 0x101 -> 0x01, 0xFF -> 0x03.
  EXPECT_EQ(ScrambleAmount("\xFD\xFE\xFF", 2, 1), std::string("\xFF\x01\x03"));
  // Offsets 2i (a = 2, b = 0, minute 30) keep growing past 256 and wrap; odd bytes never hit 0.
  const std::string longText(301, '1');
  const std::string out = ScrambleAmount(longText, 2, 30);
  ASSERT_EQ(out.size(), 301u);
  EXPECT_EQ(static_cast<unsigned char>(out[300]), ('1' + 600) % 256);
  EXPECT_EQ(static_cast<unsigned char>(out[128]), '1');
}

TEST(ScrambleAmount, EndsWhereAByteComesOutZero) {
  // 0xFF + offset 1 at i = 0 wraps to 0: nothing is left.
  EXPECT_EQ(ScrambleAmount("\xFF"
                           "12",
                           1, 0),
            "");
  // Offsets 1, 3, 5: the third byte 0xFB + 5 = 0x100 -> 0 ends the text there.
  EXPECT_EQ(ScrambleAmount("12\xFB"
                           "45",
                           1, 2),
            "25");
}

TEST(ScrambleAmount, TheAmountTextEndsAtItsFirstNul) {
  const std::string withNul(
      "12\0"
      "34",
      5);
  EXPECT_EQ(ScrambleAmount(withNul, 1, 2), "25");
}

TEST(ScrambleAmount, OddClockValuesStillGiveNonNegativeOffsets) {
  // Only 0-23 and 0-59 come from a clock; anything else must not move bytes downwards.
  EXPECT_EQ(ScrambleAmount("11", -1, -1), ScrambleAmount("11", 2, 4));
}

}  // namespace
