#include "daemon/utf8_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace {

const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Converts one piece; on a byte that does not convert, writes U+FFFD and skips the byte.
void Convert(iconv_t cd, std::string_view bytes, std::string& out) {
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[512];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off sequence: one byte is lost to U+FFFD, the rest goes on.
      out += kReplacement;
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

}  // namespace

std::string Cp949ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  // Plain ASCII (most of every dashboard) needs no converter.
  bool ascii = true;
  for (unsigned char c : bytes) ascii = ascii && c < 0x80;
  if (ascii) return std::string(bytes);
  // One descriptor per call: iconv state is not shared between the view's threads.
  iconv_t cd = iconv_open("UTF-8", "CP949");
  if (cd == kNone) {
    for (unsigned char c : bytes) {
      if (c < 0x80) out += static_cast<char>(c);
      else out += kReplacement;
    }
    return out;
  }
  Convert(cd, bytes, out);
  iconv_close(cd);
  return out;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

std::string PrintableLine(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (unsigned char c : utf8) {
    if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}
