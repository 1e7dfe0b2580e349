#include "platform/ansi_code_page.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool IsAscii(std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x80) return false;
  }
  return true;
}

// One UTF-8 sequence at `at`: its code point and length, or length 0 when the bytes are
// no valid UTF-8 (a stray or missing continuation byte, an overlong form, a surrogate, a
// value past U+10FFFF).
std::size_t DecodeUtf8(std::string_view utf8, std::size_t at, char32_t& c) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (utf8.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) return 0;
  return length;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The base letters of U+00C0..U+00FF, the accented letters the Windows tables fit to
// code page 949 (those of Latin Extended-A they leave as '?'); '\0' where a character
// has none (a ligature, a sign, or a letter of its own such as the thorn).
constexpr char kBaseLetters[] =
    "AAAAAA\0CEEEEIIII"    // U+00C0
    "DNOOOOO\0OUUUUY\0\0"  // U+00D0
    "aaaaaa\0ceeeeiiii"    // U+00E0
    "dnooooo\0ouuuuy\0y";  // U+00F0

}  // namespace

char LatinBaseLetter(char16_t unit) {
  if (unit < 0xC0 || unit > 0xFF) return '\0';
  return kBaseLetters[unit - 0xC0];
}

std::string AnsiCodePage::FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += '?';  // past the code page's plane: one character, one '?'
      ++i;
      continue;
    }
    char bytes[2];
    out.append(bytes, FromUtf16Unit(unit, bytes));
  }
  return out;
}

std::string AnsiCodePage::FromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t at = 0;
  while (at < utf8.size()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(utf8, at, c);
    if (length == 0) {
      // One '?' for the broken sequence: its first byte and the continuation bytes after it.
      out += '?';
      ++at;
      while (at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80) ++at;
      continue;
    }
    at += length;
    if (c >= 0x10000) {
      out += '?';
      continue;
    }
    char bytes[2];
    out.append(bytes, FromUtf16Unit(static_cast<char16_t>(c), bytes));
  }
  return out;
}

std::string AnsiCodePage::ToUtf8(std::string_view bytes) {
  // Plain ASCII, most of every text the client writes, is the same in both.
  if (IsAscii(bytes)) return std::string(bytes);
  const std::u16string units = ToUnicode(bytes);
  std::string out;
  out.reserve(units.size() * 3);
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (IsHighSurrogate(c) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = kReplacement;
    }
    AppendUtf8(c, out);
  }
  return out;
}

std::string AnsiToUtf8(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  AnsiCodePage codePage;
  return codePage.ToUtf8(bytes);
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  AnsiCodePage codePage;
  return codePage.FromUtf8(utf8);
}
