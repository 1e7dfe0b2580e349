#include "ui/qt/cp949_text.h"

namespace {

bool IsAscii(std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x80) return false;
  }
  return true;
}

}  // namespace

QString Cp949Text::ToUnicode(std::string_view bytes) {
  // Nearly every text the client writes is plain ASCII, which is the same in both.
  if (IsAscii(bytes)) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const std::u16string units = codePage_.ToUnicode(bytes);
  return QString(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size()));
}

std::string Cp949Text::FromUnicode(const QString& text) {
  return codePage_.FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                 static_cast<std::size_t>(text.size())));
}

std::size_t Cp949Text::ClientLength(const QString& paneText) {
  std::size_t length = 0;
  bool ascii = true;
  for (QChar c : paneText) {
    if (c.unicode() >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    length = static_cast<std::size_t>(paneText.size());
  } else {
    length = FromUnicode(paneText).size();
  }
  return length + static_cast<std::size_t>(paneText.count(QLatin1Char('\n')));
}

QString PaneLineBreaks(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}
