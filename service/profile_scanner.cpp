#include "service/profile_scanner.h"

#include <cstring>

namespace profile_detail {

namespace {

constexpr std::uint64_t kNoDifference = ~std::uint64_t{0};

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

bool EndsContent(int c) { return c == -1 || c == 0 || c == '\r' || c == '\n'; }

}  // namespace

NameMatcher::NameMatcher(const char* wanted)
    : wanted_(wanted), length_(std::strlen(wanted)), firstDifference_(kNoDifference) {}

void NameMatcher::Feed(std::uint64_t position, unsigned char byte) {
  if (firstDifference_ != kNoDifference) return;
  if (position >= length_ ||
      FoldAscii(byte) != FoldAscii(static_cast<unsigned char>(wanted_[position]))) {
    firstDifference_ = position;
  }
}

ValueCapture::ValueCapture(char* dest, std::size_t size) : dest_(dest), room_(size - 1) {}

void ValueCapture::Put(std::uint64_t position, unsigned char byte) {
  if (position < room_) {
    dest_[position] = static_cast<char>(byte);
  } else if (position == room_) {
    extra_ = byte;
  }
  if (position == 0) first_ = byte;
}

void ValueCapture::Finish(std::uint64_t trimmedLength, unsigned char lastByte) {
  std::uint64_t length = trimmedLength;
  const bool quoted = length >= 2 && (first_ == '"' || first_ == '\'') && lastByte == first_;
  if (quoted) length -= 2;
  const std::size_t n = length < room_ ? static_cast<std::size_t>(length) : room_;
  if (quoted) {
    // Shift the value left over its opening quote; the byte that did not fit in
    // dest was kept aside for exactly this.
    for (std::size_t i = 0; i < n; ++i) {
      dest_[i] = (i + 1 < room_) ? dest_[i + 1] : static_cast<char>(extra_);
    }
  }
  dest_[n] = '\0';
  length_ = n;
}

ProfileScanner::ProfileScanner(std::FILE* file, const char* section, const char* key)
    : file_(file), section_(section), key_(key) {}

bool ProfileScanner::Refill() {
  if (eof_ || failed_) return false;
  base_ += len_;
  pos_ = len_ = 0;
  len_ = std::fread(buffer_, 1, kBufferSize, file_);
  if (len_ == 0) {
    if (std::ferror(file_)) failed_ = true;
    eof_ = true;
    return false;
  }
  return true;
}

void ProfileScanner::SkipToLineEnd() {
  const unsigned char* from;
  const unsigned char* to;
  while (Window(from, to)) {
    const unsigned char* p = from;
    while (p != to && *p != '\r' && *p != '\n') ++p;
    Consumed(from, p);
    if (p != to) return;
  }
}

bool ProfileScanner::Next(ProfileLine& line, bool keysMatter, ValueCapture* capture) {
  if (!started_) {
    started_ = true;
    // A UTF-8 byte-order mark counts only at the very start of the file.
    if (Peek() != -1 && len_ >= 3 && std::memcmp(buffer_, "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
  }
  if (Peek() == -1) return false;

  line = ProfileLine{};
  line.start = line.contentEnd = Offset();
  int c;
  while ((c = Peek()) != -1 && IsBlank(c)) Advance();

  if (c == '[') {
    Advance();
    line.kind = ProfileLine::Kind::kSection;
    line.contentEnd = Offset();
    ParseSection(line);
  } else if (!EndsContent(c)) {
    line.kind = ProfileLine::Kind::kKey;
    ParseKey(line, keysMatter, capture);
  }
  // Whatever follows a NUL on this line is no part of it.
  SkipToLineEnd();
  ReadTerminator(line);
  return true;
}

// The loops below run over the buffer directly: a line may be megabytes long.

void ProfileScanner::ParseSection(ProfileLine& line) {
  int c;
  while ((c = Peek()) != -1 && IsBlank(c)) Advance();
  const std::uint64_t nameStart = Offset();
  NameMatcher matcher(section_);
  std::uint64_t position = 0;
  std::uint64_t trimmedEnd = 0;  // length up to the last non-blank byte so far
  std::uint64_t atLastBracket = 0;
  bool bracket = false;
  const unsigned char* from;
  const unsigned char* to;
  while (Window(from, to)) {
    const unsigned char* p = from;
    for (; p != to && !EndsContent(*p); ++p) {
      // The name runs to the last ']', so every ']' may be the one.
      if (*p == ']') {
        bracket = true;
        atLastBracket = trimmedEnd;
      }
      matcher.Feed(position, *p);
      ++position;
      if (!IsBlank(*p)) trimmedEnd = position;
    }
    Consumed(from, p);
    if (p != to) break;
  }
  if (trimmedEnd > 0) line.contentEnd = nameStart + trimmedEnd;
  // Without ']' the rest of the line, trimmed, is the name.
  line.nameMatches = matcher.Matches(bracket ? atLastBracket : trimmedEnd);
}

void ProfileScanner::ParseKey(ProfileLine& line, bool keysMatter, ValueCapture* capture) {
  if (!keysMatter) return;  // the caller skips to the line end
  const std::uint64_t keyStart = Offset();
  NameMatcher matcher(key_);
  std::uint64_t position = 0;
  std::uint64_t trimmedEnd = 0;
  bool equals = false;
  const unsigned char* from;
  const unsigned char* to;
  while (Window(from, to)) {
    const unsigned char* p = from;
    for (; p != to && !EndsContent(*p) && *p != '='; ++p) {
      matcher.Feed(position, *p);
      ++position;
      if (!IsBlank(*p)) trimmedEnd = position;
    }
    Consumed(from, p);
    if (p != to) {
      equals = *p == '=';
      break;
    }
  }
  line.contentEnd = keyStart + trimmedEnd;
  line.nameMatches = matcher.Matches(trimmedEnd);
  if (!equals) return;

  Advance();
  line.hasValue = true;
  const std::uint64_t afterEquals = line.contentEnd = Offset();
  if (!line.nameMatches) return;  // nobody needs another key's value

  int c;
  while ((c = Peek()) != -1 && IsBlank(c)) Advance();
  const std::uint64_t valueStart = Offset();
  const std::uint64_t wanted = capture ? capture->Wanted() : 0;
  position = 0;
  trimmedEnd = 0;
  unsigned char last = 0;
  while (Window(from, to)) {
    const unsigned char* p = from;
    for (; p != to && !EndsContent(*p); ++p) {
      if (capture && position <= wanted) capture->Put(position, *p);
      ++position;
      if (!IsBlank(*p)) {
        trimmedEnd = position;
        last = *p;
      }
    }
    Consumed(from, p);
    if (p != to) break;
  }
  if (trimmedEnd > 0) {
    line.valueStart = valueStart;
    line.valueEnd = line.contentEnd = valueStart + trimmedEnd;
  } else {
    line.valueStart = line.valueEnd = afterEquals;
  }
  if (capture) capture->Finish(trimmedEnd, last);
}

void ProfileScanner::ReadTerminator(ProfileLine& line) {
  int c = Peek();
  if (c == '\r') {
    Advance();
    sawCr_ = true;
    line.terminated = true;
    if (Peek() == '\n') {
      Advance();
      sawLf_ = true;
    }
  } else if (c == '\n') {
    Advance();
    sawLf_ = true;
    line.terminated = true;
  }
  line.end = Offset();
}

}  // namespace profile_detail
