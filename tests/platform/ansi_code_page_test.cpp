#include "platform/ansi_code_page.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

// A u8 literal's bytes as the module takes and gives UTF-8.
std::string Bytes(std::u8string_view utf8) { return std::string(utf8.begin(), utf8.end()); }

struct ToCodePage {
  const char* what;
  std::u16string unicode;
  std::string utf8;  // the same text as UTF-8
  std::string expected;
};

struct FromCodePage {
  const char* what;
  std::string bytes;
  std::u16string expected;
  std::string expectedUtf8;
};

}  // namespace

TEST(AnsiCodePage, UnicodeTakesItsFormItsBestFitOrTheDefaultCharacter) {
  const std::vector<ToCodePage> cases = {
      {"ASCII is itself", u"Fuel=25\r\n", "Fuel=25\r\n", "Fuel=25\r\n"},
      {"a Korean syllable", u"\xAC00", Bytes(u8"\uAC00"), "\xB0\xA1"},
      {"the degree sign", u"12.5\x00B0", Bytes(u8"12.5\u00B0"), "12.5\xA1\xC6"},
      {"a hanja", u"\x4E00", Bytes(u8"\u4E00"), "\xEC\xE9"},
      {"an accented letter the code page lacks is its base letter", u"caf\x00E9", Bytes(u8"caf\u00E9"),
       "cafe"},
      {"more of them", u"\x00E8\x00F1\x00E7\x00FC\x00C5", Bytes(u8"\u00E8\u00F1\u00E7\u00FC\u00C5"), "encuA"},
      {"beyond Latin-1 the Windows tables fit none", u"\x0151\x010D", Bytes(u8"\u0151\u010D"), "??"},
      {"a letter the code page has stays itself", u"\x00DF\x00F8", Bytes(u8"\u00DF\u00F8"),
       "\xA9\xAC\xA9\xAA"},
      {"a character without form or fit", u"a\u0E01b", Bytes(u8"a\u0E01b"), "a?b"},
      {"a pair past the code page's plane is one character", u"a\U0001F600b", Bytes(u8"a\U0001F600b"), "a?b"},
      // In UTF-8 each half is the three bytes of its number, which is no valid UTF-8.
      {"a lone surrogate half",
       {u'a', u'\xD800', u'b', u'\xDC00'},
       {'a', '\xED', '\xA0', '\x80', 'b', '\xED', '\xB0', '\x80'},
       "a?b?"},
  };
  AnsiCodePage codePage;
  for (const ToCodePage& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(codePage.FromUtf16(c.unicode), c.expected);
    EXPECT_EQ(codePage.FromUtf8(c.utf8), c.expected);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.expected);
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
      {"ASCII is itself", "Initialize..\r\n", u"Initialize..\r\n", "Initialize..\r\n"},
      {"the degree sign", "0.000000 \xA1\xC6", u"0.000000 \x00B0", Bytes(u8"0.000000 \u00B0")},
      {"a Korean syllable", "\xC4\xC9", u"\xCF00", Bytes(u8"\uCF00")},
      {"a lead byte without a trail byte", "a\xC4 b", u"a\xFFFD b", Bytes(u8"a\uFFFD b")},
      {"a lead byte cut off at the end", "cut \xC4", u"cut \xFFFD", Bytes(u8"cut \uFFFD")},
  };
  AnsiCodePage codePage;
  for (const FromCodePage& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(codePage.ToUnicode(c.bytes), c.expected);
    EXPECT_EQ(codePage.ToUtf8(c.bytes), c.expectedUtf8);
    EXPECT_EQ(AnsiToUtf8(c.bytes), c.expectedUtf8);
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
