#include "update/base64.h"

#include <cstdint>

namespace {

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<std::vector<unsigned char>> DecodeBase64(const std::string& text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<unsigned char> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int padding = 0;
    if (last && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
    uint32_t group = 0;
    for (int k = 0; k < 4; ++k) {
      const int v = k < 4 - padding ? ValueOf(text[i + k]) : 0;
      if (v < 0) return std::nullopt;
      group = (group << 6) | static_cast<uint32_t>(v);
    }
    // The bits that padding leaves over must be zero, so each byte string has one text.
    if (padding == 1 && (group & 0xFF) != 0) return std::nullopt;
    if (padding == 2 && (group & 0xFFFF) != 0) return std::nullopt;
    out.push_back(static_cast<unsigned char>(group >> 16));
    if (padding < 2) out.push_back(static_cast<unsigned char>(group >> 8));
    if (padding < 1) out.push_back(static_cast<unsigned char>(group));
  }
  return out;
}
