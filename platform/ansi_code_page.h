#pragma once
// The client's texts are bytes of the ANSI code page, 949. Profile files saved as
// Unicode are converted at the reader's and writer's edge, one UTF-16 code unit at a
// time, as the platform converts them: a unit without a form in the code page (each
// half of a surrogate pair included) becomes the default character '?'.
#include <cstddef>
#include <string>

class AnsiCodePage {
 public:
  AnsiCodePage();
  ~AnsiCodePage();
  AnsiCodePage(const AnsiCodePage&) = delete;
  AnsiCodePage& operator=(const AnsiCodePage&) = delete;

  // Writes the code page form of one UTF-16 code unit (1 or 2 bytes) to out; returns
  // the count. Units below 0x80 are themselves.
  std::size_t FromUtf16Unit(char16_t unit, char out[2]);

  // The UTF-16 form of a code page text. False when some byte sequence has no form,
  // or when the result would not convert back to the same bytes.
  bool ToUtf16(const std::string& text, std::u16string& out);

 private:
  void* fromUnicode_ = nullptr;  // platform converter state, when it needs one
  void* toUnicode_ = nullptr;
};
