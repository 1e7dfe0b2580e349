#include "core/checked_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

TEST(ReadInt32, FollowsAtoiAndSaturates) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"42", 42},
      {"  \t-17xyz", -17},
      {"+8", 8},
      {"3.9", 3},
      {"- 5", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"99999999999", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-99999999999999999999999", INT32_MIN},
      {"1e400", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadInt32(c.text), c.expected) << c.text;
}

TEST(ReadDouble, FollowsAtofWithoutLocale) {
  struct Case {
    const char* text;
    double expected;
  } cases[] = {
      {"", 0.0},
      {"x1", 0.0},
      {"25.5kg", 25.5},
      {"  -0.0015", -0.0015},
      {"+3", 3.0},
      {".5", 0.5},
      {"1e3", 1000.0},
      {"1,5", 1.0},
      {"1e-400", 0.0},
      {"30210000", 30210000.0},
      // Out of range without a negative exponent still underflows when below 1.
      {"0.000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "0000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
       0.0},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(ReadDouble(c.text), c.expected) << c.text;
  EXPECT_TRUE(std::isinf(ReadDouble("1e400")));
  // ... and a negative exponent still overflows when the digits outweigh it.
  EXPECT_TRUE(std::isinf(ReadDouble(("1" + std::string(400, '0') + "e-5").c_str())));
  EXPECT_LT(ReadDouble("-1e400"), 0);
  EXPECT_TRUE(std::isnan(ReadDouble("nan")));
  EXPECT_TRUE(std::isinf(ReadDouble("-Infinity")));
}

TEST(CheckedArithmetic, WrapsAndTruncatesToDefinedValues) {
  EXPECT_EQ(WrapAdd(INT32_MAX, 1), INT32_MIN);
  EXPECT_EQ(WrapAdd(500, 12), 512);
  EXPECT_EQ(WrapMul(30000000, 100), static_cast<int32_t>(3000000000u));
  EXPECT_EQ(TruncToInt32(12.3456), 12);
  EXPECT_EQ(TruncToInt32(-1.5), -1);
  EXPECT_EQ(TruncToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(TruncToInt32(2147483648.0), INT32_MIN);
  EXPECT_EQ(TruncToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(TruncToInt32(std::nan("")), INT32_MIN);
  EXPECT_EQ(TruncToInt32(1e300), INT32_MIN);
}
