#include "platform/adapters.h"

#include <cstdio>

std::string FormatMacAddress(const uint8_t* bytes, std::size_t length) {
  uint8_t six[6] = {};
  for (std::size_t i = 0; i < 6 && i < length; ++i) six[i] = bytes[i];
  char text[32];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", six[0], six[1], six[2], six[3], six[4],
                six[5]);
  return text;
}

std::string FormatMacError(int errorNumber) {
  char text[32];
  std::snprintf(text, sizeof text, "Error : %d ", errorNumber);
  return text;
}
