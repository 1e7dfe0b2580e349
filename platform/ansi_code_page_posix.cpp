#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "platform/ansi_code_page.h"

namespace {

// iconv_open's failure value is the handle (iconv_t)-1: a pointer made from an integer.
const iconv_t kNone = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
constexpr char16_t kReplacement = 0xFFFD;

iconv_t Handle(void* h) { return h ? static_cast<iconv_t>(h) : kNone; }

void Close(void* h) {
  if (Handle(h) != kNone) iconv_close(Handle(h));
}

}  // namespace

// UTF-16LE is named explicitly: a generic "UTF-16" would take a leading U+FEFF as a
// byte-order mark and drop it, where the platform converts it like any other unit.
AnsiCodePage::AnsiCodePage() {
  iconv_t from = iconv_open("CP949", "UTF-16LE");
  iconv_t to = iconv_open("UTF-16LE", "CP949");
  fromUnicode_ = from == kNone ? nullptr : from;
  toUnicode_ = to == kNone ? nullptr : to;
}

AnsiCodePage::~AnsiCodePage() {
  Close(fromUnicode_);
  Close(toUnicode_);
}

std::size_t AnsiCodePage::FromUtf16Unit(char16_t unit, char out[2]) {
  if (unit < 0x80) {
    out[0] = static_cast<char>(unit);
    return 1;
  }
  const iconv_t cd = Handle(fromUnicode_);
  out[0] = '?';
  if (unit >= 0xD800 && unit <= 0xDFFF) return 1;
  if (cd == kNone) {
    const char base = LatinBaseLetter(unit);
    if (base != '\0') out[0] = base;
    return 1;
  }
  char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  char* inPtr = in;
  std::size_t inLeft = sizeof in;
  char converted[8];
  char* outPtr = converted;
  std::size_t outLeft = sizeof converted;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  const std::size_t n = sizeof converted - outLeft;
  if (rc == static_cast<std::size_t>(-1) || inLeft != 0 || n == 0 || n > 2) {
    // No form in the table: the best fit, as the Windows tables give it, or the default.
    const char base = LatinBaseLetter(unit);
    if (base != '\0') out[0] = base;
    return 1;
  }
  std::memcpy(out, converted, n);
  return n;
}

std::u16string AnsiCodePage::ToUnicode(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const iconv_t cd = Handle(toUnicode_);
  if (cd == kNone) {
    for (unsigned char c : bytes) out += c < 0x80 ? static_cast<char16_t>(c) : kReplacement;
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[512];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    const std::size_t n = sizeof buffer - outLeft;
    for (std::size_t i = 0; i + 1 < n; i += 2) {
      out += static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) |
                                   (static_cast<unsigned char>(buffer[i + 1]) << 8));
    }
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off sequence: its first byte shows as U+FFFD, the rest goes on.
      out += kReplacement;
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

bool AnsiCodePage::ToUtf16(const std::string& text, std::u16string& out) {
  out.clear();
  const iconv_t cd = Handle(toUnicode_);
  if (cd == kNone) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string bytes(text.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* outPtr = bytes.data();
  std::size_t outLeft = bytes.size();
  if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) return false;
  const std::size_t units = (bytes.size() - outLeft) / 2;
  out.resize(units);
  for (std::size_t i = 0; i < units; ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  // Only a text that comes back unchanged may be written.
  std::string back;
  for (char16_t unit : out) {
    char b[2];
    back.append(b, FromUtf16Unit(unit, b));
  }
  return back == text;
}
