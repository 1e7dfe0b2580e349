#include <windows.h>

#include "platform/ansi_code_page.h"

namespace {
constexpr UINT kCodePage = 949;
}

// The system's own tables, so a Unicode file reads exactly as the system reads it
// (its best-fit mappings included).
AnsiCodePage::AnsiCodePage() = default;
AnsiCodePage::~AnsiCodePage() = default;

std::size_t AnsiCodePage::FromUtf16Unit(char16_t unit, char out[2]) {
  if (unit < 0x80) {
    out[0] = static_cast<char>(unit);
    return 1;
  }
  const wchar_t in = static_cast<wchar_t>(unit);
  char converted[8];
  const int n = WideCharToMultiByte(kCodePage, 0, &in, 1, converted, sizeof converted, nullptr, nullptr);
  if (n < 1 || n > 2) {
    out[0] = '?';
    return 1;
  }
  out[0] = converted[0];
  if (n == 2) out[1] = converted[1];
  return static_cast<std::size_t>(n);
}

bool AnsiCodePage::ToUtf16(const std::string& text, std::u16string& out) {
  out.clear();
  if (text.empty()) return true;
  if (text.size() > 0x7FFFFFF) return false;
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (units <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), units);
  out.assign(wide.begin(), wide.end());
  // Only a text that comes back unchanged may be written.
  std::string back;
  for (char16_t unit : out) {
    char b[2];
    back.append(b, FromUtf16Unit(unit, b));
  }
  return back == text;
}

std::u16string AnsiCodePage::ToUnicode(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++at;
      continue;
    }
    // A character of two bytes, else one; what is neither shows as U+FFFD and the
    // conversion goes on at the next byte.
    wchar_t unit = 0;
    std::size_t used = 0;
    if (IsDBCSLeadByteEx(kCodePage, lead) && at + 1 < bytes.size() &&
        MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data() + at, 2, &unit, 1) == 1) {
      used = 2;
    } else if (MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data() + at, 1, &unit, 1) == 1) {
      used = 1;
    }
    if (used == 0) {
      out += static_cast<char16_t>(0xFFFD);
      ++at;
    } else {
      out += static_cast<char16_t>(unit);
      at += used;
    }
  }
  return out;
}
