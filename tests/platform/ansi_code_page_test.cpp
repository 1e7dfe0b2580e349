#include "platform/ansi_code_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ToCodePage {
  const char* what;
  std::u16string unicode;
  std::string expected;
};

struct FromCodePage {
  const char* what;
  std::string bytes;
  std::u16string expected;
};

// UTF-16 as UTF-8, to hold the one-off conversions to the same rows.
std::string Utf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    // A pair is one character; a lone half is written as it is, which is no valid UTF-8.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
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
  return out;
}

}  // namespace

TEST(AnsiCodePage, UnicodeTakesItsFormItsBestFitOrTheDefaultCharacter) {
  const std::vector<ToCodePage> cases = {
      {"ASCII is itself", u"Fuel=25\r\n", "Fuel=25\r\n"},
      {"a Korean syllable", u"\xAC00", "\xB0\xA1"},
      {"the degree sign", u"12.5\x00B0", "12.5\xA1\xC6"},
      {"a hanja", u"\x4E00", "\xEC\xE9"},
      {"an accented letter the code page lacks is its base letter", u"caf\x00E9", "cafe"},
      {"more of them", u"\x00E8\x00F1\x00E7\x00FC\x00C5", "encuA"},
      {"beyond Latin-1 the Windows tables fit none", u"\x0151\x010D",
       "?"
       "?"},
      {"a letter the code page has stays itself", u"\x00DF\x00F8", "\xA9\xAC\xA9\xAA"},
      {"a character without form or fit",
       u"a\x0E01"
       "b",
       "a?b"},
      {"a pair past the code page's plane is one character",
       u"a\xD83D\xDE00"
       "b",
       "a?b"},
      {"a lone surrogate half",
       u"a\xD800"
       "b\xDC00",
       "a?b?"},
  };
  AnsiCodePage codePage;
  for (const ToCodePage& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(codePage.FromUtf16(c.unicode), c.expected);
    EXPECT_EQ(codePage.FromUtf8(Utf8(c.unicode)), c.expected);
    EXPECT_EQ(Utf8ToAnsi(Utf8(c.unicode)), c.expected);
  }
}

TEST(AnsiCodePage, OneUnitAtATimeEachSurrogateHalfIsADefaultCharacter) {
  AnsiCodePage codePage;
  char out[2];
  ASSERT_EQ(codePage.FromUtf16Unit(u'\x00E9', out), 1u);
  EXPECT_EQ(out[0], 'e');
  ASSERT_EQ(codePage.FromUtf16Unit(u'\xAC00', out), 2u);
  EXPECT_EQ(std::string(out, 2), "\xB0\xA1");
  for (char16_t half : {u'\xD83D', u'\xDE00'}) {
    ASSERT_EQ(codePage.FromUtf16Unit(half, out), 1u);
    EXPECT_EQ(out[0], '?');
  }
}

TEST(AnsiCodePage, BrokenUtf8IsOneDefaultCharacterPerSequence) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"x\xEA\xB0!", "x?!"},          // cut before its last byte
      {"x\xC0\xAF!", "x?!"},          // an overlong '/'
      {"x\xED\xA0\x80!", "x?!"},      // a surrogate written as UTF-8
      {"x\xF4\x90\x80\x80!", "x?!"},  // past U+10FFFF
      {"x\xFF!", "x?!"},              // never a lead byte
      {"x\x80\x80!", "x?!"},          // stray continuation bytes, one broken sequence
      {"x\xF0\x9F\x98", "x?"},        // cut at the end
  };
  AnsiCodePage codePage;
  for (const auto& [utf8, expected] : cases) {
    EXPECT_EQ(codePage.FromUtf8(utf8), expected) << utf8;
    EXPECT_EQ(Utf8ToAnsi(utf8), expected) << utf8;
  }
}

TEST(AnsiCodePage, CodePageTextShowsWithAReplacementForWhatDoesNotConvert) {
  const std::vector<FromCodePage> cases = {
      {"ASCII is itself", "Initialize..\r\n", u"Initialize..\r\n"},
      {"the degree sign", "0.000000 \xA1\xC6", u"0.000000 \x00B0"},
      {"a Korean syllable", "\xC4\xC9", u"\xCF00"},
      {"a lead byte without a trail byte", "a\xC4 b", u"a\xFFFD b"},
      {"a lead byte cut off at the end", "cut \xC4", u"cut \xFFFD"},
  };
  AnsiCodePage codePage;
  for (const FromCodePage& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(codePage.ToUnicode(c.bytes), c.expected);
    EXPECT_EQ(codePage.ToUtf8(c.bytes), Utf8(c.expected));
    EXPECT_EQ(AnsiToUtf8(c.bytes), Utf8(c.expected));
  }
}

TEST(AnsiCodePage, BaseLettersAreThoseOfAccentedLatin1LettersOnly) {
  const std::vector<std::pair<char16_t, char>> cases = {
      {u'\x00C0', 'A'},  {u'\x00E9', 'e'},  {u'\x00D1', 'N'},  {u'\x00FF', 'y'},
      {u'\x00C6', '\0'}, {u'\x00D7', '\0'}, {u'\x00DF', '\0'}, {u'\x0107', '\0'},
      {u'\x0161', '\0'}, {u'A', '\0'},      {u'\x00BF', '\0'},
  };
  for (const auto& [unit, base] : cases) {
    EXPECT_EQ(LatinBaseLetter(unit), base) << static_cast<unsigned>(unit);
  }
}
