#include "ui/qt/cp949_text.h"

#include <iconv.h>

#include <QSysInfo>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

const char* Utf16Name() {
  return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
}

iconv_t Handle(void* h) { return static_cast<iconv_t>(h); }

bool IsAscii(std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x80) return false;
  }
  return true;
}

}  // namespace

Cp949Text::Cp949Text()
    : toUnicode_(iconv_open(Utf16Name(), "CP949")), fromUnicode_(iconv_open("CP949", Utf16Name())) {}

Cp949Text::~Cp949Text() {
  if (Handle(toUnicode_) != reinterpret_cast<iconv_t>(-1)) iconv_close(Handle(toUnicode_));
  if (Handle(fromUnicode_) != reinterpret_cast<iconv_t>(-1)) iconv_close(Handle(fromUnicode_));
}

QString Cp949Text::ToUnicode(std::string_view bytes) {
  // Nearly every text the client writes is plain ASCII, which is the same in both.
  if (IsAscii(bytes)) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  iconv_t cd = Handle(toUnicode_);
  if (cd == reinterpret_cast<iconv_t>(-1)) return QString::fromLatin1(bytes.data(), bytes.size());
  iconv(cd, nullptr, nullptr, nullptr, nullptr);

  std::vector<char16_t> out(bytes.size() + 1);  // never more UTF-16 units than bytes
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* outPtr = reinterpret_cast<char*>(out.data());
  size_t outLeft = out.size() * sizeof(char16_t);
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) break;
    // An invalid or cut-off sequence: show one replacement character and go on.
    if (outLeft < sizeof(char16_t)) break;
    char16_t replacement = 0xFFFD;
    std::memcpy(outPtr, &replacement, sizeof replacement);
    outPtr += sizeof replacement;
    outLeft -= sizeof replacement;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  const auto units = static_cast<qsizetype>((reinterpret_cast<char16_t*>(outPtr) - out.data()));
  return QString(reinterpret_cast<const QChar*>(out.data()), units);
}

std::string Cp949Text::FromUnicode(const QString& text) {
  iconv_t cd = Handle(fromUnicode_);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text.toLatin1().toStdString();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);

  std::string out(static_cast<size_t>(text.size()) * 2 + 4, '\0');  // at most 2 bytes a unit
  char* in = reinterpret_cast<char*>(const_cast<QChar*>(text.constData()));
  size_t inLeft = static_cast<size_t>(text.size()) * sizeof(QChar);
  char* outPtr = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno != EILSEQ && errno != EINVAL) break;
    if (outLeft < 1) break;
    // Not representable (or a lone surrogate half): one '?' for the code point.
    const char16_t unit = *reinterpret_cast<const char16_t*>(in);
    const bool pair = QChar::isHighSurrogate(unit) && inLeft >= 2 * sizeof(char16_t) &&
                      QChar::isLowSurrogate(*reinterpret_cast<const char16_t*>(in + 2));
    const size_t skip = pair ? 2 * sizeof(char16_t) : sizeof(char16_t);
    *outPtr++ = '?';
    --outLeft;
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(static_cast<size_t>(outPtr - out.data()));
  return out;
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
