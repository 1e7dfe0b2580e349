#pragma once
// The client's texts are bytes of its ANSI code page, 949; profile files saved as
// Unicode, the window, the daemon's JSON and journal and the service's database hold
// Unicode. Every conversion between the two is here, with one replacement policy, the
// platform's:
// - To the code page: a character without a form there takes its best fit where there
//   is one (an accented Latin-1 letter its base letter: "café" gives "cafe"), otherwise
//   the default character '?'. On Windows the system's tables decide, best fit
//   included; elsewhere iconv's table and, for what it lacks, the base letters below.
//   A text converted as a whole gives one '?' per character (a surrogate pair is one);
//   FromUtf16Unit, which sees one UTF-16 unit at a time as the platform's profile
//   reader does, gives one per unit. A byte that is no valid UTF-8 is a '?' with the
//   rest of its sequence.
// - From the code page, for showing: a byte that starts no valid character becomes
//   U+FFFD and the conversion goes on after it; ToUtf16 is the strict form, for text
//   that will be written back.
// A converter is used by one thread at a time (iconv's state is not shared).
#include <cstddef>
#include <string>
#include <string_view>

class AnsiCodePage {
 public:
  AnsiCodePage();
  ~AnsiCodePage();
  AnsiCodePage(const AnsiCodePage&) = delete;
  AnsiCodePage& operator=(const AnsiCodePage&) = delete;

  // Writes the code page form of one UTF-16 code unit (1 or 2 bytes) to out; returns
  // the count. Units below 0x80 are themselves; each half of a surrogate pair is '?'.
  std::size_t FromUtf16Unit(char16_t unit, char out[2]);
  // A whole text.
  std::string FromUtf16(std::u16string_view text);
  std::string FromUtf8(std::string_view utf8);

  // The UTF-16 form of a code page text. False when some byte sequence has no form,
  // or when the result would not convert back to the same bytes.
  bool ToUtf16(const std::string& text, std::u16string& out);
  // What a code page text shows as: never fails, U+FFFD for what does not convert.
  std::u16string ToUnicode(std::string_view bytes);
  std::string ToUtf8(std::string_view bytes);

 private:
  void* fromUnicode_ = nullptr;  // platform converter state, when it needs one
  void* toUnicode_ = nullptr;
};

// One-off conversions, each with a converter of its own, so any thread may call them.
std::string AnsiToUtf8(std::string_view bytes);
std::string Utf8ToAnsi(std::string_view utf8);

// The best fit of a character the code page lacks: the base letter of an accented
// Latin-1 letter (U+00C0..U+00FF), as the Windows tables fit them; 0 for any other
// character.
char LatinBaseLetter(char16_t unit);
