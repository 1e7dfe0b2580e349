#include "profile/profile_scanner.h"

#include <cstring>
#include <utility>

namespace profile_detail {

namespace {

constexpr std::uint64_t kNone = ~std::uint64_t{0};

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

bool EndsLine(unsigned char c) { return c == '\r' || c == '\n'; }

std::uint64_t Min(std::uint64_t a, std::uint64_t b) { return a < b ? a : b; }

// How a UTF-8 sequence may go on after its lead byte: the number of continuation bytes
// and the range of the first one (which rules out overlong forms, surrogates and code
// points past U+10FFFF). 0 continuation bytes for a byte that starts no sequence.
struct Utf8Lead {
  int continuation;
  unsigned char low;
  unsigned char high;
};

Utf8Lead LeadOf(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
  if (b == 0xE0) return {2, 0xA0, 0xBF};
  if (b == 0xED) return {2, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
  if (b == 0xF0) return {3, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
  if (b == 0xF4) return {3, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::string_view TrimmedName(const char* name) {
  std::string_view text(name);
  while (!text.empty() && IsBlank(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && IsBlank(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

NameMatcher::NameMatcher(std::string_view wanted) : wanted_(wanted), firstDifference_(kNone) {}

void NameMatcher::Feed(std::uint64_t position, unsigned char byte) {
  if (firstDifference_ != kNone) return;
  if (position >= wanted_.size() ||
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

void ValueCapture::Finish(std::uint64_t length, unsigned char lastByte) {
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
    : file_(file), section_(TrimmedName(section)), key_(TrimmedName(key)) {}

// The byte-order mark decides once how the whole file is read; without one the bytes
// are the code page's already.
void ProfileScanner::Start() {
  started_ = true;
  len_ = std::fread(buffer_, 1, kBufferSize, file_);
  if (len_ == 0) {
    if (std::ferror(file_)) failed_ = true;
    eof_ = true;
    return;
  }
  const auto startsWith = [&](const char* mark, std::size_t n) {
    return len_ >= n && std::memcmp(buffer_, mark, n) == 0;
  };
  if (startsWith("\xEF\xBB\xBF", 3)) {
    encoding_ = TextEncoding::kUtf8;
    markLength_ = 3;
  } else if (startsWith("\xFF\xFE", 2)) {
    encoding_ = TextEncoding::kUtf16Le;
    markLength_ = 2;
  } else if (startsWith("\xFE\xFF", 2)) {
    encoding_ = TextEncoding::kUtf16Be;
    markLength_ = 2;
  } else {
    return;
  }
  decoded_ = std::make_unique<Decoded>();
  decoded_->raw.assign(buffer_ + markLength_, buffer_ + len_);
  decoded_->rawStart = markLength_;
  decoded_->rawAt.assign(kBufferSize + 1, 0);
  pos_ = len_ = 0;
  chunkStart_ = markLength_;
  RefillDecoded();
}

bool ProfileScanner::Refill() {
  if (eof_ || failed_) return false;
  if (decoded_) return RefillDecoded();
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

bool ProfileScanner::RefillDecoded() {
  Decoded& d = *decoded_;
  pos_ = len_ = 0;
  for (;;) {
    if (!d.rawEof && d.raw.size() < kBufferSize) {
      const std::size_t have = d.raw.size();
      d.raw.resize(kBufferSize);
      const std::size_t got = std::fread(d.raw.data() + have, 1, kBufferSize - have, file_);
      d.raw.resize(have + got);
      if (got == 0) {
        if (std::ferror(file_)) {
          failed_ = eof_ = true;
          return false;
        }
        d.rawEof = true;
      }
    }
    chunkStart_ = d.rawStart;
    const std::size_t used = Convert(d.rawEof);
    d.rawAt[len_] = static_cast<std::uint32_t>(used);
    d.raw.erase(d.raw.begin(), d.raw.begin() + static_cast<std::ptrdiff_t>(used));
    d.rawStart += used;
    if (len_ > 0) return true;
    if (d.rawEof && d.raw.empty()) {
      eof_ = true;
      return false;
    }
  }
}

void ProfileScanner::Emit(std::size_t rawOffset, const char* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    decoded_->rawAt[len_] = static_cast<std::uint32_t>(rawOffset);
    buffer_[len_++] = bytes[i];
  }
}

// Every character converts to at most as many bytes as it takes in the file, so one
// buffer of raw bytes always fits the buffer of converted ones.
std::size_t ProfileScanner::Convert(bool final) {
  Decoded& d = *decoded_;
  const auto* raw = reinterpret_cast<const unsigned char*>(d.raw.data());
  const std::size_t n = d.raw.size();
  const char unknown = '?';
  char out[2];
  std::size_t i = 0;
  if (encoding_ != TextEncoding::kUtf8) {
    const bool little = encoding_ == TextEncoding::kUtf16Le;
    for (; i + 1 < n; i += 2) {
      const char16_t unit = little ? static_cast<char16_t>(raw[i] | (raw[i + 1] << 8))
                                   : static_cast<char16_t>((raw[i] << 8) | raw[i + 1]);
      Emit(i, out, d.codePage.FromUtf16Unit(unit, out));
    }
    if (i < n && final) {  // half a unit at the end of the file
      Emit(i, &unknown, 1);
      ++i;
    }
    return i;
  }
  while (i < n) {
    const unsigned char lead = raw[i];
    if (lead < 0x80) {
      out[0] = static_cast<char>(lead);
      Emit(i, out, 1);
      ++i;
      continue;
    }
    const Utf8Lead form = LeadOf(lead);
    // A broken sequence becomes one '?' for its longest valid beginning.
    std::size_t k = 1;
    char32_t cp = form.continuation == 1 ? lead & 0x1F : form.continuation == 2 ? lead & 0x0F : lead & 0x07;
    bool broken = form.continuation == 0;
    for (int c = 0; !broken && c < form.continuation; ++c, ++k) {
      if (i + k >= n) {
        if (!final) return i;  // the rest arrives with the next read
        broken = true;
        break;
      }
      const unsigned char next = raw[i + k];
      const unsigned char low = c == 0 ? form.low : 0x80;
      const unsigned char high = c == 0 ? form.high : 0xBF;
      if (next < low || next > high) {
        broken = true;
        break;
      }
      cp = (cp << 6) | (next & 0x3F);
    }
    if (broken) {
      Emit(i, &unknown, 1);
    } else if (cp > 0xFFFF) {
      // A surrogate pair: neither half has a form in the code page.
      Emit(i, "??", 2);
    } else {
      Emit(i, out, d.codePage.FromUtf16Unit(static_cast<char16_t>(cp), out));
    }
    i += k;
  }
  return i;
}

void ProfileScanner::SkipToLineEnd() {
  const unsigned char* from;
  const unsigned char* to;
  while (Window(from, to)) {
    const unsigned char* p = from;
    while (p != to && !EndsLine(*p)) ++p;
    Consumed(from, p);
    if (p != to) return;
  }
}

bool ProfileScanner::Next(ProfileLine& line, bool keysMatter, ValueCapture* capture) {
  if (!started_) Start();
  if (Peek() == -1) return false;

  line = ProfileLine{};
  line.start = line.contentEnd = Offset();
  int c;
  while ((c = Peek()) != -1 && IsBlank(c)) Advance();

  if (c == '[') {
    ParseBracketLine(line, keysMatter, capture);
  } else if (c != -1 && !EndsLine(static_cast<unsigned char>(c))) {
    ParseKey(line, keysMatter, capture);
  }
  SkipToLineEnd();
  ReadTerminator(line);
  return true;
}

// The loops below run over the buffer directly: a line may be megabytes long. A NUL
// byte cuts a name or value where it stands, after the line's blanks are trimmed, but
// the line goes on: a '=' or ']' behind it still counts.

namespace {

// The part of a key line from its first non-blank byte: name, '=', value.
class KeyLineParser {
 public:
  KeyLineParser(std::string_view key, ValueCapture* capture)
      : matcher_(key), capture_(capture), room_(capture ? capture->Wanted() : 0) {}

  // Takes one byte at buffer index `index`; false once nothing more of the line matters
  // (another key's value).
  bool Feed(unsigned char c, std::size_t index) {
    if (!equals_) {
      if (c == '=') {
        equals_ = true;
        afterEquals_ = index + 1;
        matches_ = matcher_.Matches(Min(nameNul_, nameTrimmed_));
        return matches_;
      }
      if (c == 0 && nameNul_ == kNone) nameNul_ = namePos_;
      if (nameNul_ == kNone) matcher_.Feed(namePos_, c);
      ++namePos_;
      if (!IsBlank(c)) {
        nameTrimmed_ = namePos_;
        nameEnd_ = index + 1;
      }
      return true;
    }
    if (!valueStarted_) {
      if (IsBlank(c)) return true;
      valueStarted_ = true;
      valueStart_ = index;
    }
    if (c == 0 && valueNul_ == kNone) {
      // The value as read ends here; a write replaces only that much.
      valueNul_ = valuePos_;
      beforeNul_ = previous_;
      valueEnd_ = index;
    }
    if (capture_ && valueNul_ == kNone && valuePos_ <= room_) capture_->Put(valuePos_, c);
    previous_ = c;
    ++valuePos_;
    if (!IsBlank(c)) {
      valueTrimmed_ = valuePos_;
      last_ = c;
      if (valueNul_ == kNone) valueEnd_ = index + 1;
    }
    return true;
  }

  // Turns the marks set within the current window (buffer indexes) into file offsets.
  template <class OffsetAt>
  void TakeMarks(OffsetAt offsetAt) {
    for (auto [index, offset] :
         {std::pair{&nameEnd_, &nameEndAt_}, std::pair{&afterEquals_, &afterEqualsAt_},
          std::pair{&valueStart_, &valueStartAt_}, std::pair{&valueEnd_, &valueEndAt_}}) {
      if (*index != kUnset) *offset = offsetAt(*index);
      *index = kUnset;
    }
  }

  // Fills in the line as a key line and hands the value to the capture.
  void Apply(ProfileLine& line) {
    line.kind = ProfileLine::Kind::kKey;
    line.nameMatches = equals_ ? matches_ : matcher_.Matches(Min(nameNul_, nameTrimmed_));
    line.hasValue = equals_;
    if (!equals_) {
      line.contentEnd = nameEndAt_;
      return;
    }
    line.contentEnd = afterEqualsAt_;
    if (!matches_) return;
    if (valueEndAt_ != kNone) {
      line.valueStart = valueStartAt_;
      line.valueEnd = line.contentEnd = valueEndAt_;
      line.valueBeforeNul = valueNul_ != kNone;
    } else {
      line.valueStart = line.valueEnd = afterEqualsAt_;
    }
    if (capture_) {
      const bool cutByNul = valueNul_ < valueTrimmed_;
      capture_->Finish(cutByNul ? valueNul_ : valueTrimmed_, cutByNul ? beforeNul_ : last_);
    }
  }

 private:
  static constexpr std::size_t kUnset = ~std::size_t{0};

  NameMatcher matcher_;
  ValueCapture* capture_;
  std::uint64_t room_;
  bool equals_ = false;
  bool matches_ = false;
  std::uint64_t namePos_ = 0, nameTrimmed_ = 0, nameNul_ = kNone;
  std::uint64_t valuePos_ = 0, valueTrimmed_ = 0, valueNul_ = kNone;
  bool valueStarted_ = false;
  unsigned char previous_ = 0, beforeNul_ = 0, last_ = 0;
  std::size_t nameEnd_ = kUnset, afterEquals_ = kUnset, valueStart_ = kUnset, valueEnd_ = kUnset;
  std::uint64_t nameEndAt_ = 0, afterEqualsAt_ = 0, valueStartAt_ = kNone, valueEndAt_ = kNone;
};

}  // namespace

void ProfileScanner::ParseKey(ProfileLine& line, bool keysMatter, ValueCapture* capture) {
  line.kind = ProfileLine::Kind::kKey;
  if (!keysMatter) return;  // the caller skips to the line end
  KeyLineParser key(key_, capture);
  const auto offsetAt = [this](std::size_t index) { return OffsetAt(index); };
  const unsigned char* from;
  const unsigned char* to;
  bool more = true;
  while (more && Window(from, to)) {
    const unsigned char* p = from;
    const auto* base = reinterpret_cast<const unsigned char*>(buffer_);
    for (; p != to && !EndsLine(*p); ++p) {
      if (!key.Feed(*p, static_cast<std::size_t>(p - base))) {
        ++p;
        more = false;
        break;
      }
    }
    Consumed(from, p);
    key.TakeMarks(offsetAt);
    if (p != to) break;
  }
  key.Apply(line);
}

// A line that starts with '[' is a section only when a ']' follows somewhere on it;
// otherwise it is a key like any other ("[x=1" is the key "[x"). Both readings are
// followed at once, so the line is read only once.
void ProfileScanner::ParseBracketLine(ProfileLine& line, bool keysMatter, ValueCapture* capture) {
  KeyLineParser key(key_, capture);
  const auto offsetAt = [this](std::size_t index) { return OffsetAt(index); };
  NameMatcher matcher(section_);
  std::uint64_t position = 0;
  std::uint64_t trimmed = 0;
  std::uint64_t nul = kNone;
  std::uint64_t atLastBracket = 0;
  bool bracket = false;
  bool leading = true;  // blanks after the '[' are no part of the name
  bool first = true;    // the '[' itself
  bool keyGoesOn = keysMatter;
  const unsigned char* from;
  const unsigned char* to;
  while (Window(from, to)) {
    const unsigned char* p = from;
    const auto* base = reinterpret_cast<const unsigned char*>(buffer_);
    for (; p != to && !EndsLine(*p); ++p) {
      const unsigned char c = *p;
      if (keyGoesOn) keyGoesOn = key.Feed(c, static_cast<std::size_t>(p - base));
      if (first) {
        first = false;
        continue;
      }
      if (leading && IsBlank(c)) continue;
      leading = false;
      // The name runs to the last ']', so every ']' may be the one.
      if (c == ']') {
        bracket = true;
        atLastBracket = trimmed;
      }
      if (c == 0 && nul == kNone) nul = position;
      if (nul == kNone) matcher.Feed(position, c);
      ++position;
      if (!IsBlank(c)) trimmed = position;
    }
    Consumed(from, p);
    key.TakeMarks(offsetAt);
    if (p != to) break;
  }
  if (bracket) {
    line.kind = ProfileLine::Kind::kSection;
    line.nameMatches = matcher.Matches(Min(nul, atLastBracket));
    return;
  }
  line.kind = ProfileLine::Kind::kKey;
  if (keysMatter) key.Apply(line);
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
