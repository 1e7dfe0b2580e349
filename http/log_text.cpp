#include "http/log_text.h"

namespace http {

void AppendPrintable(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '\\') {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
}

std::string Printable(std::string_view text) {
  std::string out;
  AppendPrintable(out, text);
  return out;
}

}  // namespace http
