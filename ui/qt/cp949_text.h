#pragma once
// The client's texts are code page 949 bytes; the window's are Unicode. This converts
// at the window's edge, with the code page's one replacement policy
// (platform/ansi_code_page.h). One converter per thread.
#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/ansi_code_page.h"

class Cp949Text {
 public:
  // A byte that is not valid code page 949 shows as U+FFFD; the rest still converts.
  QString ToUnicode(std::string_view bytes);
  // A character code page 949 cannot hold becomes its best fit ("é" an "e"), else '?'.
  std::string FromUnicode(const QString& text);
  // A pane's length as the client counts it: bytes of its code page 949 text, every
  // line break counted as the two bytes CR LF it stands for.
  std::size_t ClientLength(const QString& paneText);

 private:
  AnsiCodePage codePage_;
};

// Line ends of a log text ("\r\n", or a lone CR or LF) as the pane's line breaks.
QString PaneLineBreaks(QString text);
