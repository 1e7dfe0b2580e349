#pragma once
// Tricky profile files and what reading them gives, as the platform's own reader gives
// it. The Linux tests hold our reader to the table; the Windows tests hold our reader
// and the system's GetPrivateProfileStringA to it, under Wine.
#include <string>
#include <vector>

namespace profile_cases {

constexpr const char* kDefault = "dflt";

struct Lookup {
  const char* section;
  const char* key;
  unsigned size;
  std::string expected;
  // Where Wine's reader differs from ours (a value is cut to
  // size - 1 bytes after its quotes are dropped): what Wine gives instead.
  const char* wineGives = nullptr;
};

struct Case {
  const char* what;
  std::string file;  // bytes; NUL bytes included
  std::vector<Lookup> lookups;
  // The file is Unicode: what it reads as depends on the ANSI code page (949 here).
  bool converted = false;
  // The system's result is not defined: it is not compared.
  bool systemUndefined = false;
};

// A file saved as UTF-16 with a byte-order mark, as Notepad's "Unicode" writes it.
inline std::string Utf16Le(const std::u16string& text, bool mark = true) {
  std::string bytes = mark ? "\xFF\xFE" : "";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

inline std::string Utf16Be(const std::u16string& text) {
  std::string bytes = "\xFE\xFF";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  return bytes;
}

inline std::string Bytes(const char* data, std::size_t size) { return std::string(data, size); }

inline const std::vector<Case>& Cases() {
  using std::string_literals::operator""s;
  static const std::vector<Case> cases = {
      {"plain",
       "[Machine]\r\nFuel=480\r\nKEST=12.5\r\n",
       {{"Machine", "Fuel", 256, "480"},
        {"Machine", "KEST", 256, "12.5"},
        {"Machine", "Code", 256, kDefault},
        {"Site", "Fuel", 256, kDefault}}},
      {"names match without regard to case", "[mAcHiNe]\r\nfUeL=1\r\n", {{"MACHINE", "fuel", 256, "1"}}},
      {"blanks around names and values",
       "  [ Machine ]  \r\n  Fuel  =  480  \r\n\t Code\t=\t7\t\r\n",
       {{"Machine", "Fuel", 256, "480"}, {"Machine", "Code", 256, "7"}}},
      {"vertical tab, form feed and Ctrl-Z count as blanks",
       "[M]\r\nA=\v1\f\r\nB=2\x1a\r\n",
       {{"M", "A", 256, "1"}, {"M", "B", 256, "2"}}},
      {"enclosing quotes",
       "[Q]\r\na=\"480\"\r\nb='x y'\r\nc=\"x'\r\nd=\"\r\ne=\"\"\r\nf= \" q \" \r\ng=\"a\"b\"\r\n",
       {{"Q", "a", 256, "480"},
        {"Q", "b", 256, "x y"},
        {"Q", "c", 256, "\"x'"},
        {"Q", "d", 256, "\""},
        {"Q", "e", 256, ""},
        {"Q", "f", 256, " q "},
        {"Q", "g", 256, "a\"b"}}},
      {"quotes and a short destination",
       "[Q]\r\na=\"abcdef\"\r\nb=\"ab\"\r\n",
       {{"Q", "a", 2, "a"},
        {"Q", "a", 4, "abc"},
        {"Q", "a", 7, "abcdef", "abcde"},
        {"Q", "a", 8, "abcdef"},
        {"Q", "b", 3, "ab", "a"},
        {"Q", "b", 4, "ab"}}},
      {"'=' inside a value, and a key split at the first '='",
       "[E]\r\nk=a=b==c\r\nx = = y\r\n",
       {{"E", "k", 256, "a=b==c"}, {"E", "x", 256, "= y"}}},
      {"';' and '#' are not comments",
       "[C]\r\n;k=1\r\n#j=2\r\nk=3 ; note\r\n",
       {{"C", ";k", 256, "1"}, {"C", "#j", 256, "2"}, {"C", "k", 256, "3 ; note"}}},
      {"long values are cut to size - 1",
       "[L]\r\nv=" + std::string(300, 'x') + "\r\nw=abcdefgh\r\n",
       {{"L", "v", 256, std::string(255, 'x')},
        {"L", "w", 5, "abcd"},
        {"L", "w", 2, "a"},
        {"L", "w", 9, "abcdefgh"}}},
      {"the first of two keys wins", "[D]\r\nk=1\r\nk=2\r\n", {{"D", "k", 256, "1"}}},
      {"a key without '=' reads as the default",
       "[N]\r\nlonely\r\nk=1\r\n",
       {{"N", "lonely", 256, kDefault}, {"N", "k", 256, "1"}}},
      {"an empty value", "[V]\r\nk=\r\nj=   \r\n", {{"V", "k", 256, ""}, {"V", "j", 256, ""}}},
      {"LF, CR and runs of both end lines",
       "[A]\nk=1\r[B]\r\r\n\nk=2\n\n\n",
       {{"A", "k", 256, "1"}, {"B", "k", 256, "2"}}},
      {"a section name runs to the last ']'",
       "[A]B] \r\nk=1\r\n[ C ] trailing\r\nk=2\r\n",
       {{"A]B", "k", 256, "1"}, {"C", "k", 256, "2"}}},
      {"no line end at the end of the file", "[Machine]\r\nFuel=480", {{"Machine", "Fuel", 256, "480"}}},
      {"code page 949 bytes stay as they are",
       "[Machine]\r\nName=\xB1\xE8\xC3\xA4\xB1\xBC\r\nLocate=1.5\xA1\xC6\r\n",
       {{"Machine", "Name", 256, "\xB1\xE8\xC3\xA4\xB1\xBC"}, {"Machine", "Locate", 256, "1.5\xA1\xC6"}}},
      {"an empty file", "", {{"M", "k", 256, kDefault}}},
      {"a section header alone", "[M]", {{"M", "k", 256, kDefault}}},

      // Names asked for are trimmed like the file's.
      {"blanks around the names asked for",
       "[s]\r\nk1=a\r\n=e\r\n",
       {{" s ", " k1 ", 256, "a"}, {"\ts", "k1\t", 256, "a"}, {"s", " ", 256, "e"}}},
      {"... and around the file's too",
       "[ s ]\r\nk1=a\r\n",
       {{" s ", "k1", 256, "a"}, {"s", "\vk1", 256, "a"}}},

      // A '[' line without ']' is a key of the section before it.
      {"'[' without ']'",
       "[s]\r\na=1\r\n[x=1\r\nb=2\r\n",
       {{"s", "[x", 256, "1"}, {"s", "b", 256, "2"}, {"x=1", "b", 256, kDefault}, {"x", "b", 256, kDefault}}},
      {"... without '=' either", "[s]\r\n[x\r\nb=2\r\n", {{"s", "b", 256, "2"}, {"s", "[x", 256, kDefault}}},
      {"... blanks inside it kept", "[s]\r\n [ x = 1 \r\n", {{"s", "[ x", 256, "1"}}},
      {"a ']' after '=' still makes a header",
       "[s]\r\n[x]=1\r\nk=2\r\n",
       {{"s", "k", 256, kDefault}, {"x", "k", 256, "2"}, {"s", "[x]", 256, kDefault}}},

      // A NUL cuts a name or value where it stands, after the line is trimmed.
      {"NUL in a key name",
       Bytes("[s]\r\nke\0y=v2\r\nk \0z=3\r\n", 21),
       {{"s", "ke", 256, "v2"}, {"s", "key", 256, kDefault}, {"s", "k", 256, kDefault}}},
      {"NUL in a value",
       Bytes("[s]\r\nk=ab\0cd\r\nj=2\r\nb= ab \0cd\r\n", 29),
       {{"s", "k", 256, "ab"}, {"s", "j", 256, "2"}, {"s", "b", 256, "ab "}}},
      {"NUL and quotes",
       Bytes("[s]\r\nk=\"ab\"\0cd\r\nj=\"ab\0cd\"\r\n", 26),
       {{"s", "k", 256, "ab"}, {"s", "j", 256, "\"ab"}}},
      {"NUL in a section name",
       Bytes("[se\0c]\r\nk=1\r\n[t \0u]\r\nj=2\r\n[a]\0]\r\ni=3\r\n", 39),
       {{"se", "k", 256, "1"},
        {"sec", "k", 256, kDefault},
        {"t", "j", 256, kDefault},
        {"a]", "i", 256, "3"}}},
      {"NUL first on a line: a key named \"\"",
       Bytes("[s]\r\n \0ke=v\r\nj=1\r\n\0[t]\r\nk=2\r\n", 30),
       {{"s", "", 256, "v"}, {"s", "j", 256, "1"}, {"s", "k", 256, "2"}, {"t", "k", 256, kDefault}}},
      {"NUL in a value, then more lines",
       Bytes("[M]\r\nk=4\0"
             "80\r\nj=2\r\n",
             18),
       {{"M", "k", 256, "4"}, {"M", "j", 256, "2"}}},
      {"a '[' line cut by NUL before its ']'",
       Bytes("[s]\r\n[a\0\r\nk=1\r\n", 15),
       {{"a", "k", 256, kDefault}, {"s", "k", 256, "1"}}},

      // The lines before the first header are the first section named "".
      {"keys before the first section",
       "k=top\r\n[S]\r\nk=in\r\n",
       {{"", "k", 256, "top"}, {"S", "k", 256, "in"}}},
      {"... come before a later []",
       "k=top\r\n[]\r\nk=empty\r\n[ ]\r\nj=3\r\n",
       {{"", "k", 256, "top"}, {"", "j", 256, kDefault}, {" ", "k", 256, "top"}}},
      {"... even when there are none",
       "[]\r\nk=empty\r\n[s]\r\nk=1\r\n",
       {{"", "k", 256, kDefault}, {"s", "k", 256, "1"}}},
      {"... so [] is never searched",
       "[a]\r\nk=1\r\n[]\r\nk=empty\r\n",
       {{"", "k", 256, kDefault}, {"a", "k", 256, "1"}}},

      // Unicode files, converted to code page 949.
      {"UTF-16LE: Korean, the degree sign, a hanja; no form gives '?' per unit",
       Utf16Le(u"[s]\r\nk=\xAC00\x00B0\x4E00\xD83D\xDE00!\r\nj=x\r\n[\xAC00]\r\nk=2\r\n"),
       {{"s", "k", 256,
         "\xB0\xA1\xA1\xC6\xEC\xE9?"
         "?!"},
        {"s", "j", 256, "x"},
        {"s", "k", 3, "\xB0\xA1"},
        {"\xB0\xA1", "k", 256, "2"}},
       true},
      {"UTF-16LE: an accented letter the code page lacks reads as its base letter",
       Utf16Le(u"[s]\r\nk=caf\x00E9\r\n"),
       {{"s", "k", 256, "cafe"}},
       true},
      {"UTF-8: the same", "\xEF\xBB\xBF[s]\r\nk=caf\xC3\xA9\r\n", {{"s", "k", 256, "cafe"}}, true},
      {"UTF-16LE: a NUL unit, a lone surrogate",
       Utf16Le(u"[s]\nk=v\0w\nj=\xD800x\n"s),
       {{"s", "k", 256, "v"}, {"s", "j", 256, "?x"}},
       true},
      // Wine makes a unit of the last byte and whatever lies behind it in memory.
      {"UTF-16LE: half a unit at the end", Utf16Le(u"[s]\ni=y") + "z", {{"s", "i", 256, "y?"}}, true, true},
      {"UTF-16BE", Utf16Be(u"[s]\r\nk=\xAC00v\r\n"), {{"s", "k", 256, "\xB0\xA1v"}}, true},
      {"UTF-16 without a mark is not converted",
       Utf16Le(u"[s]\r\nk=v\r\n", false),
       {{"s", "k", 256, kDefault}},
       true},
      {"UTF-16LE: a second mark is a character",
       Utf16Le(u"\xFEFF[s]\r\nk=v\r\n"),
       {{"s", "k", 256, kDefault}},
       true},
      {"UTF-8 converted, not passed through",
       "\xEF\xBB\xBF[s]\r\nk=\xEA\xB0\x80\xC2\xB0!\r\n[\xEA\xB0\x80]\r\nk=2\r\n",
       {{"s", "k", 256, "\xB0\xA1\xA1\xC6!"}, {"\xB0\xA1", "k", 256, "2"}},
       true},
      {"UTF-8: broken sequences give one '?' each",
       "\xEF\xBB\xBF[s]\r\na=x\xEA\xB0!\r\nb=x\xF0\x9F\x98\x80!\r\nc=x\xC0\xAF!\r\nd=x\xF0\x9F\x98!\r\ne="
       "x\xFF!\r\n"
       "f=\xB0\xA1\r\n",
       {{"s", "a", 256, "x?!"},
        {"s", "b", 256,
         "x?"
         "?!"},
        {"s", "c", 256,
         "x?"
         "?!"},
        {"s", "d", 256, "x?!"},
        {"s", "e", 256, "x?!"},
        {"s", "f", 256, "??"}},
       true},
      {"UTF-8: a second mark is a character",
       "\xEF\xBB\xBF\xEF\xBB\xBF[s]\r\nk=v\r\n",
       {{"s", "k", 256, kDefault}},
       true},
      {"a mark alone", "\xFF\xFE", {{"s", "k", 256, kDefault}}, true},

      // Names match without regard to ASCII case, blanks trimmed around names and values.
      {"plain", "[Machine]\r\nFuel=25\r\n", {{"Machine", "Fuel", 256, "25"}}},
      {"section case", "[mAcHiNe]\r\nFuel=25\r\n", {{"MACHINE", "Fuel", 256, "25"}}},
      {"key case", "[Machine]\r\nfUeL=25\r\n", {{"Machine", "FUEL", 256, "25"}}},
      {"blanks and tabs around everything",
       " \t[ \tMachine\t ] \t\r\n \t Fuel \t=\t 25 \t\r\n",
       {{"Machine", "Fuel", 256, "25"}}},
      {"VT, FF and Ctrl-Z are blanks",
       "\x1A[Machine]\x1A\r\n\v\fFuel\x1A=\x1A 25\v\f\x1A\r\n",
       {{"Machine", "Fuel", 256, "25"}}},
      {"names asked for are trimmed like the file's", "[ s ]\nk1=a\n", {{" s\t", "\vk1 ", 256, "a"}}},
      {"blanks inside a name count", "[A]\nfu el=1\nfuel=2\n", {{"A", "fuel", 256, "2"}}},
      {"inner blanks, '=', ';' and '#' stay in the value",
       "[A]\nk= a = b ;c #d \n",
       {{"A", "k", 256, "a = b ;c #d"}}},
      {"';' line is a key", "[A]\n;k=1\n#k=2\nk=3\n", {{"A", ";k", 256, "1"}}},
      {"'#' line is a key", "[A]\n;k=1\n#k=2\nk=3\n", {{"A", "#k", 256, "2"}}},
      {"a commented header is a key of section \"\"", ";[A]\nk=1\n[A]\nk=2\n", {{"A", "k", 256, "2"}}},
      {"missing section", "[A]\nk=1\n", {{"B", "k", 256, kDefault}}},
      {"missing key", "[A]\nk=1\n", {{"A", "j", 256, kDefault}}},
      {"key of a later section does not leak back", "[A]\nx=1\n[B]\nk=2\n", {{"A", "k", 256, kDefault}}},
      {"empty file", "", {{"A", "k", 256, kDefault}}},

      // One pair of enclosing quotes is dropped.
      {"double quotes", "[A]\nk=\"abc\"\n", {{"A", "k", 256, "abc"}}},
      {"single quotes", "[A]\nk='abc'\n", {{"A", "k", 256, "abc"}}},
      {"quotes after trimming, blanks inside kept", "[A]\nk=  \" a b \"  \n", {{"A", "k", 256, " a b "}}},
      {"mismatched pair kept", "[A]\nk=\"abc'\n", {{"A", "k", 256, "\"abc'"}}},
      {"mismatched pair kept, other way", "[A]\nk='abc\"\n", {{"A", "k", 256, "'abc\""}}},
      {"lone double quote", "[A]\nk=\"\n", {{"A", "k", 256, "\""}}},
      {"lone single quote", "[A]\nk='\n", {{"A", "k", 256, "'"}}},
      {"empty quotes", "[A]\nk=\"\"\n", {{"A", "k", 256, ""}}},
      {"only one pair", "[A]\nk=\"\"x\"\"\n", {{"A", "k", 256, "\"x\""}}},
      {"quote not at the end", "[A]\nk=\"a\" b\n", {{"A", "k", 256, "\"a\" b"}}},
      {"quote only at the end", "[A]\nk=x\"\n", {{"A", "k", 256, "x\""}}},

      // The first section and the first key of a name win.
      {"first section", "[A]\nk=1\n[B]\nk=2\n[a]\nk=3\nj=4\n", {{"A", "k", 256, "1"}}},
      {"later section of the name is not searched",
       "[A]\nk=1\n[B]\nk=2\n[a]\nk=3\nj=4\n",
       {{"A", "j", 256, kDefault}}},
      {"other section", "[A]\nk=1\n[B]\nk=2\n[a]\nk=3\nj=4\n", {{"B", "k", 256, "2"}}},
      {"first key", "[A]\nk=1\nK=2\n", {{"A", "k", 256, "1"}}},
      {"section order does not matter", "[B]\nk=2\n[A]\nk=1", {{"A", "k", 256, "1"}}},

      // A line without '=' is a key without value.
      {"shadows a later key=value", "[A]\nk\nk=2\n", {{"A", "k", 256, kDefault}}},
      {"with blanks", "[A]\n  k \t\nk=2\n", {{"A", "k", 256, kDefault}}},
      {"other name does not shadow", "[A]\nkey\nk=2\n", {{"A", "k", 256, "2"}}},
      {"empty value is a value, not the default", "[A]\nk=\nk=2\n", {{"A", "k", 256, ""}}},
      {"blank value", "[A]\nk = \t\n", {{"A", "k", 256, ""}}},
      {"'=' first names the key \"\"", "[A]\n=v\n", {{"A", "", 256, "v"}}},
      {"'=' after blanks", "[A]\n  = v \n", {{"A", "", 256, "v"}}},
      {"lines of blanks are no keys", "[A]\n   \n\t\nk=1\n", {{"A", "k", 256, "1"}}},
      {"nor keys named \"\"", "[A]\n   \n\t\nk=1\n", {{"A", "", 256, kDefault}}},

      // Any run of CR and LF ends a line.
      {"CRLF", "[A]\r\nk=1\r\nj=2\r\n", {{"A", "j", 256, "2"}}},
      {"LF", "[A]\nk=1\nj=2", {{"A", "j", 256, "2"}}},
      {"CR alone", "[A]\rk=1\rj=2\r", {{"A", "j", 256, "2"}}},
      {"CR alone, value before it", "[A]\rk=1\rj=2\r", {{"A", "k", 256, "1"}}},
      {"mixed runs", "[A]\r\n\r\n\n\rk=1\n\r\r\nj=2", {{"A", "j", 256, "2"}}},
      {"no line end at the end", "[A]\r\nk=1", {{"A", "k", 256, "1"}}},

      // A byte-order mark counts only at the very start.
      {"skipped",
       "\xEF\xBB\xBF"
       "[A]\r\nk=1\r\n",
       {{"A", "k", 256, "1"}},
       true},
      {"skipped before a key of section \"\"",
       "\xEF\xBB\xBF"
       "k=1\r\n",
       {{"", "k", 256, "1"}},
       true},
      {"elsewhere it is part of the name",
       "[A]\n"
       "\xEF\xBB\xBF"
       "k=1\n",
       {{"A", "k", 256, kDefault}}},
      {"a second one is not skipped",
       "\xEF\xBB\xBF"
       "\xEF\xBB\xBF"
       "[A]\nk=1\n",
       {{"A", "k", 256, kDefault}},
       true},
      {"a partial one is not skipped", "\xEF\xBB[A]\nk=1\n", {{"A", "k", 256, kDefault}}},

      // Keys before the first section form the section named "".
      {"leading key", "k=1\n[A]\nk=2\n", {{"", "k", 256, "1"}}},
      {"named section unaffected", "k=1\n[A]\nk=2\n", {{"A", "k", 256, "2"}}},
      {"section \"\" ends at the first header", "x=1\n[A]\nk=2\n", {{"", "k", 256, kDefault}}},
      {"the lines before the first header come first, even with no key",
       "[A]\nk=2\n[]\nk=3\n",
       {{"", "k", 256, kDefault}}},
      {"[ ] too", "[A]\nk=2\n[ \t]\nk=3\n", {{"", "k", 256, kDefault}}},
      {"a query of blanks is \"\"", "k=1\n[A]\n", {{" \t", "k", 256, "1"}}},
      {"[] still ends the section before it", "[A]\nx=1\n[]\nk=3\n", {{"A", "k", 256, kDefault}}},
      {"with leading keys, a later [] is a second one", "k=1\n[]\nj=3\n", {{"", "j", 256, kDefault}}},
      {"a second [] is not searched", "[]\nk=1\n[]\nj=2\n", {{"", "j", 256, kDefault}}},

      // A NUL cuts a name or value but not the line.
      {"in a value", "[A]\nk=ab\0cd\n"s, {{"A", "k", 256, "ab"}}},
      {"the value's blanks before it stay", "[A]\nk=ab \0cd\n"s, {{"A", "k", 256, "ab "}}},
      {"quotes pair within what is left", "[A]\nk=\"ab\"\0cd\"\n"s, {{"A", "k", 256, "ab"}}},
      {"closing quote after it no longer pairs", "[A]\nk=\"ab\0\"\n"s, {{"A", "k", 256, "\"ab"}}},
      {"right after '='", "[A]\nk=\0cd\n"s, {{"A", "k", 256, ""}}},
      {"in a key before '='", "[A]\nk\0=1\nk=2\n"s, {{"A", "k", 256, "1"}}},
      {"in a key, the '=' behind it still splits", "[A]\nk\0x=1\nk=2\n"s, {{"A", "k", 256, "1"}}},
      {"... so the whole name is not there", "[A]\nk\0x=1\n"s, {{"A", "kx", 256, kDefault}}},
      {"in a key, blanks before it stay in the name", "[A]\nk \0x=1\nk=2\n"s, {{"A", "k", 256, "2"}}},
      {"in a section name, blanks before it stay", "[A \0B]\nk=1\n"s, {{"A", "k", 256, kDefault}}},
      {"a ']' behind it still closes the header", "[A]\0]\nk=1\n"s, {{"A]", "k", 256, "1"}}},
      {"a header without ']' before it is a key", "[A\0\nk=1\n"s, {{"A", "k", 256, kDefault}}},
      {"in a section name", "[A\0B]\nk=1\n"s, {{"A", "k", 256, "1"}}},
      {"first on a line: a key named \"\"", "[A]\n\0k=1\nk=2\n"s, {{"A", "k", 256, "2"}}},
      {"... found as such", "[A]\n \0k=1\nk=2\n"s, {{"A", "", 256, "1"}}},
      {"a NUL-first header is no header", "\0[A]\nk=1\n"s, {{"A", "k", 256, kDefault}}},
      {"... so its keys are in section \"\"", "\0[A]\nk=1\n"s, {{"", "k", 256, "1"}}},
      {"the next line reads normally", "[A]\nk=1\0\n[B]\nj=2\n"s, {{"B", "j", 256, "2"}}},

      // Brackets in every place.
      {"'[' without ']' is a key line", "[A=1\n", {{"", "[A", 256, "1"}}},
      {"... in the section before it", "[S]\n[A=1\nk=2\n", {{"S", "[A", 256, "1"}}},
      {"... whose keys go on after it", "[S]\n[A=1\nk=2\n", {{"S", "k", 256, "2"}}},
      {"... and names no section", "[S]\n[A=1\nk=2\n", {{"A=1", "k", 256, kDefault}}},
      {"... nor without '='", "[S]\n[A\nk=2\n", {{"A", "k", 256, kDefault}}},
      {"... which reads as the default", "[S]\n[A\nk=2\n", {{"S", "[A", 256, kDefault}}},
      {"... blanks inside kept", "[S]\n [ x = 1 \n", {{"S", "[ x", 256, "1"}}},
      {"a ']' after '=' still makes a header", "[S]\n[x]=1\nk=2\n", {{"x", "k", 256, "2"}}},
      {"name runs to the last ']'", "[A]]\nk=1\n", {{"A]", "k", 256, "1"}}},
      {"... so the shorter name is not it", "[A]]\nk=1\n", {{"A", "k", 256, kDefault}}},
      {"inner ']' and blanks", "[A] x ]y\nk=1\n", {{"A] x", "k", 256, "1"}}},
      {"text after ']' ignored", "[A]junk\nk=1\n", {{"A", "k", 256, "1"}}},
      {"nested brackets", "[[A]]\nk=1\n", {{"[A]", "k", 256, "1"}}},
      {"']' before '[' is a key line", "]A[\nk=1\n", {{"", "k", 256, "1"}}},
      {"... without value", "]A[\nk=1\n", {{"", "]A[", 256, kDefault}}},
      {"... or with one", "]x=1\n", {{"", "]x", 256, "1"}}},
      {"a lone '[' is a key of section \"\"", "[\nk=1\n", {{"", "k", 256, "1"}}},
      {"... without value", "[\nk=1\n", {{"", "[", 256, kDefault}}},
      {"'[' not first is no header", "x[A]\nk=1\n", {{"A", "k", 256, kDefault}}},
      {"']' right after '['", "[]A]\nk=1\n", {{"]A", "k", 256, "1"}}},
  };
  return cases;
}

}  // namespace profile_cases
