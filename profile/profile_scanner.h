#pragma once
// The line scanner shared by the profile reader and writer, so both see a file the
// same way. It streams through a fixed buffer and keeps, per line, only offsets and
// the outcome of comparing names with the wanted section and key; names are compared
// byte by byte as they pass, so no name is ever held, however long. A file that starts
// with a UTF-16 or UTF-8 byte-order mark is converted to the ANSI code page on the way
// in; offsets still count bytes of the file as stored, so the writer can edit it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/ansi_code_page.h"

namespace profile_detail {

// Blanks trimmed from both ends of names and values (Ctrl-Z included: old editors
// leave it at the end of a file).
inline bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A; }

// A section or key name as asked for: blanks at either end do not count, as in the file.
std::string_view TrimmedName(const char* name);

enum class TextEncoding { kAnsi, kUtf8, kUtf16Le, kUtf16Be };

// Compares a name streaming past, byte by byte, with a wanted name without regard to
// ASCII case. Remembers only where the first difference lies.
class NameMatcher {
 public:
  explicit NameMatcher(std::string_view wanted);
  void Feed(std::uint64_t position, unsigned char byte);
  // True when the name, cut at `end` (its length), equals the wanted one.
  bool Matches(std::uint64_t end) const { return end == wanted_.size() && firstDifference_ >= end; }

 private:
  std::string_view wanted_;
  std::uint64_t firstDifference_;
};

// Collects the value of the wanted key straight into the caller's buffer: its first
// size - 1 bytes after the leading blanks, one more byte in case a leading quote is
// dropped, and what is needed to trim the end and recognise an enclosing pair of
// quotes. Never writes past dest[size - 1].
class ValueCapture {
 public:
  ValueCapture(char* dest, std::size_t size);  // size >= 1
  // Wants the bytes at positions 0 to size - 1 of the value (after its leading blanks).
  std::uint64_t Wanted() const { return room_; }
  void Put(std::uint64_t position, unsigned char byte);
  // Given the value's length and its last byte, drops one pair of enclosing quotes,
  // cuts and terminates.
  void Finish(std::uint64_t length, unsigned char lastByte);
  std::size_t Length() const { return length_; }  // what Finish left in dest

 private:
  char* dest_;
  std::size_t room_;  // size - 1
  unsigned char extra_ = 0;
  unsigned char first_ = 0;
  std::size_t length_ = 0;
};

// One line as the profile rules see it. Offsets count bytes of the file as stored.
// contentEnd is exact for key lines looked into (through the value for the wanted
// key); the value offsets only for the wanted key.
struct ProfileLine {
  enum class Kind { kIgnored, kSection, kKey };
  Kind kind = Kind::kIgnored;  // kIgnored: nothing but blanks
  bool nameMatches = false;    // section line: names the wanted section; key line: the wanted key
  bool hasValue = false;       // key line holding '='
  bool terminated = false;     // a CR LF, CR or LF ends it (else it ends the file)
  std::uint64_t start = 0;
  std::uint64_t contentEnd = 0;  // after the last non-blank byte of the line
  std::uint64_t valueStart = 0;  // trimmed value; an empty value sits right after the '='
  std::uint64_t valueEnd = 0;
  bool valueBeforeNul = false;  // a NUL byte stands right at valueEnd
  std::uint64_t end = 0;        // after the line's terminator
};

class ProfileScanner {
 public:
  // `file` is read from its current position, which must be the start of the file.
  // The names are trimmed as asked-for names are.
  ProfileScanner(std::FILE* file, const char* section, const char* key);
  ProfileScanner(const ProfileScanner&) = delete;
  ProfileScanner& operator=(const ProfileScanner&) = delete;

  // Reads the next line; false at the end of the file. Key lines are looked into only
  // when `keysMatter` (the line lies in the wanted section); the value of the wanted
  // key then also streams into `capture` when one is given.
  bool Next(ProfileLine& line, bool keysMatter, ValueCapture* capture);

  bool ReadFailed() const { return failed_; }
  bool SawCr() const { return sawCr_; }
  bool SawLf() const { return sawLf_; }
  // The file offset of the next byte to be read (of the file's end, once all is read).
  std::uint64_t Offset() const { return OffsetAt(pos_); }
  // Known once the first line has been read.
  TextEncoding Encoding() const { return encoding_; }
  std::uint64_t MarkLength() const { return markLength_; }

 private:
  static constexpr std::size_t kBufferSize = 32 * 1024;

  // State of a converted file: the bytes read but not yet converted, and for each
  // converted byte where its character starts in the file.
  struct Decoded {
    AnsiCodePage codePage;
    std::vector<char> raw;
    std::vector<std::uint32_t> rawAt;  // kBufferSize + 1 entries
    std::uint64_t rawStart = 0;        // file offset of raw[0]
    bool rawEof = false;
  };

  std::uint64_t OffsetAt(std::size_t index) const {
    return decoded_ ? chunkStart_ + decoded_->rawAt[index] : base_ + index;
  }
  int Peek() {
    if (pos_ == len_ && !Refill()) return -1;
    return static_cast<unsigned char>(buffer_[pos_]);
  }
  void Advance() { ++pos_; }
  // The unread part of the buffer, refilled when empty; false at the end of the file.
  bool Window(const unsigned char*& from, const unsigned char*& to) {
    if (pos_ == len_ && !Refill()) return false;
    from = reinterpret_cast<const unsigned char*>(buffer_) + pos_;
    to = reinterpret_cast<const unsigned char*>(buffer_) + len_;
    return true;
  }
  void Consumed(const unsigned char* from, const unsigned char* upTo) {
    pos_ += static_cast<std::size_t>(upTo - from);
  }
  void Start();
  bool Refill();
  bool RefillDecoded();
  // Converts what it can of decoded_->raw into buffer_; returns the raw bytes used.
  std::size_t Convert(bool final);
  void Emit(std::size_t rawOffset, const char* bytes, std::size_t n);
  void SkipToLineEnd();
  void ParseBracketLine(ProfileLine& line, bool keysMatter, ValueCapture* capture);
  void ParseKey(ProfileLine& line, bool keysMatter, ValueCapture* capture);
  void ReadTerminator(ProfileLine& line);

  std::FILE* file_;
  std::string_view section_;
  std::string_view key_;
  char buffer_[kBufferSize];
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::uint64_t base_ = 0;        // file offset of buffer_[0], for a file read as it is
  std::uint64_t chunkStart_ = 0;  // for a converted file: the raw offset rawAt counts from
  std::unique_ptr<Decoded> decoded_;
  TextEncoding encoding_ = TextEncoding::kAnsi;
  std::uint64_t markLength_ = 0;
  bool eof_ = false;
  bool failed_ = false;
  bool started_ = false;
  bool sawCr_ = false;
  bool sawLf_ = false;
};

}  // namespace profile_detail
