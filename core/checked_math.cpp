#include "core/checked_math.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
bool IsCBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Passes over leading blanks and one sign, as strtol and strtod do; gives what follows.
const char* SkipBlanksAndSign(const char* p, bool& negative) {
  while (IsCBlank(*p)) ++p;
  negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  return p;
}
}  // namespace

int32_t ReadInt32(const char* text) {
  if (!text) return 0;
  bool negative = false;
  const char* p = SkipBlanksAndSign(text, negative);
  int64_t value = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + (*p - '0');
    if (value > limit) {
      value = limit;  // saturate; keep consuming digits
    }
    ++p;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

static bool StartsWithNoCase(const char* p, const char* word) {
  for (; *word; ++p, ++word) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *word) return false;
  }
  return true;
}

// The power of ten of the first significant digit of the decimal number in [p, end):
// "0.001" and "1e-3" give -3, "120" gives 2. Saturates far beyond any double's range.
static int64_t DecimalExponent(const char* p, const char* end) {
  int64_t exponent = 0;
  bool significant = false;
  bool fraction = false;
  for (; p < end && *p != 'e' && *p != 'E'; ++p) {
    if (*p == '.') {
      fraction = true;
    } else if (fraction && !significant) {
      --exponent;
      significant = *p != '0';
    } else if (!fraction && (significant || *p != '0')) {
      if (significant) ++exponent;
      significant = true;
    }
  }
  if (p < end) {
    ++p;  // the 'e'
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    int64_t power = 0;
    for (; p < end; ++p) power = power < 100000 ? power * 10 + (*p - '0') : power;
    exponent += negative ? -power : power;
  }
  return exponent;
}

double ReadDouble(const char* text) {
  if (!text) return 0.0;
  bool negative = false;
  const char* p = SkipBlanksAndSign(text, negative);
  const double sign = negative ? -1.0 : 1.0;
  if (StartsWithNoCase(p, "inf")) return sign * std::numeric_limits<double>::infinity();
  if (StartsWithNoCase(p, "nan")) return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
  if (!((*p >= '0' && *p <= '9') || (*p == '.' && p[1] >= '0' && p[1] <= '9'))) return 0.0;
  // from_chars parses the "C" way whatever the process locale is (the window sets one).
  double value = 0.0;
  auto result = std::from_chars(p, p + std::strlen(p), value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Like strtod: below 1 it underflows to zero, else it overflows.
    return DecimalExponent(p, result.ptr) < 0 ? sign * 0.0 : sign * std::numeric_limits<double>::infinity();
  }
  if (result.ec != std::errc()) return 0.0;
  return sign * value;
}

int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

int32_t TruncToInt32(double value) {
  if (std::isnan(value) || value >= 2147483648.0 || value <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}
