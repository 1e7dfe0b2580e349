#pragma once
// Conversions and arithmetic with defined results where plain C++ would overflow:
// integer readings saturate, sums and products wrap modulo 2^32, and a double that
// does not fit a 32-bit integer (or is NaN) truncates to INT32_MIN.
#include <cstdint>

// atoi: leading blanks, an optional sign, decimal digits up to the first other byte;
// saturates to the 32-bit range.
int32_t ReadInt32(const char* text);
// atof in the "C" locale: the leading decimal number of the text, 0 when there is none.
double ReadDouble(const char* text);

int32_t WrapAdd(int32_t a, int32_t b);
int32_t WrapMul(int32_t a, int32_t b);
int32_t TruncToInt32(double value);
