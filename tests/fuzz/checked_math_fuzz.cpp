// The readings of numbers against the C library in the "C" locale: ReadInt32 is strtol
// held to the 32-bit range, ReadDouble is strtod for decimal texts (a hexadecimal text
// reads as its leading 0). The wrapping and truncating helpers on any operands, under
// the undefined-behaviour sanitizer.
//
// Input: [a: 4] [b: 4] [x: 8] text...
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/checked_math.h"
#include "fuzz_support.h"

namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int32_t ExpectedInt(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

double ExpectedDouble(const std::string& text) {
  std::size_t p = 0;
  while (p < text.size() && IsCSpace(text[p])) ++p;
  std::size_t digits = p;
  if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) ++digits;
  if (digits + 1 < text.size() && text[digits] == '0' &&
      (text[digits + 1] == 'x' || text[digits + 1] == 'X')) {
    return std::strtod(text.substr(0, digits + 1).c_str(), nullptr);
  }
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const auto a = in.Raw<int32_t>();
  const auto b = in.Raw<int32_t>();
  const auto x = in.Raw<double>();
  std::string text(in.Rest());
  text = text.substr(0, text.find('\0'));

  const int32_t readInt = ReadInt32(text.c_str());
  FUZZ_CHECK(readInt == ExpectedInt(text),
             "ReadInt32(" + fuzz::Show(text) + ") = " + std::to_string(readInt));

  const double readDouble = ReadDouble(text.c_str());
  const double expected = ExpectedDouble(text);
  // Bit for bit, so that -0 read as 0 is caught; any NaN matches any NaN.
  FUZZ_CHECK((std::isnan(readDouble) && std::isnan(expected)) ||
                 std::bit_cast<std::uint64_t>(readDouble) == std::bit_cast<std::uint64_t>(expected),
             "ReadDouble(" + fuzz::Show(text) + ") = " + std::to_string(readDouble) + ", strtod gives " +
                 std::to_string(expected));

  const auto sum = static_cast<int64_t>(a) + b;
  const auto product = static_cast<int64_t>(a) * b;
  FUZZ_CHECK(static_cast<uint32_t>(WrapAdd(a, b)) == static_cast<uint32_t>(sum), "WrapAdd");
  FUZZ_CHECK(static_cast<uint32_t>(WrapMul(a, b)) == static_cast<uint32_t>(product), "WrapMul");
  const int32_t truncated = TruncToInt32(x);
  if (std::isfinite(x) && std::trunc(x) >= INT32_MIN && std::trunc(x) <= INT32_MAX) {
    FUZZ_CHECK(truncated == static_cast<int32_t>(std::trunc(x)), "TruncToInt32(" + std::to_string(x) + ")");
  } else {
    FUZZ_CHECK(truncated == INT32_MIN, "TruncToInt32(" + std::to_string(x) + ")");
  }
  return 0;
}
