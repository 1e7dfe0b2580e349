#pragma once
// The line scanner shared by the profile reader and writer, so both see a file the
// same way. It streams through a fixed buffer and keeps, per line, only offsets and
// the outcome of comparing names with the wanted section and key; names are compared
// byte by byte as they pass, so no name is ever held, however long.
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace profile_detail {

// Blanks trimmed from both ends of names and values (Ctrl-Z included: old editors
// leave it at the end of a file).
inline bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A; }

// Compares a name streaming past, byte by byte, with a wanted name without regard to
// ASCII case. Remembers only where the first difference lies.
class NameMatcher {
 public:
  explicit NameMatcher(const char* wanted);
  void Feed(std::uint64_t position, unsigned char byte);
  // True when the name, cut at `end` (its trimmed length), equals the wanted one.
  bool Matches(std::uint64_t end) const { return end == length_ && firstDifference_ >= end; }

 private:
  const char* wanted_;
  std::uint64_t length_;
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
  // Given the trimmed length and the last non-blank byte, drops one pair of enclosing
  // quotes, cuts and terminates.
  void Finish(std::uint64_t trimmedLength, unsigned char lastByte);
  std::size_t Length() const { return length_; }  // what Finish left in dest

 private:
  char* dest_;
  std::size_t room_;  // size - 1
  unsigned char extra_ = 0;
  unsigned char first_ = 0;
  std::size_t length_ = 0;
};

// One line as the profile rules see it. Offsets count bytes from the start of the file.
// contentEnd is exact for section lines and for key lines looked into up to their '='
// (through the value for the wanted key); the value offsets only for the wanted key.
struct ProfileLine {
  enum class Kind { kIgnored, kSection, kKey };
  Kind kind = Kind::kIgnored;  // kIgnored: nothing but blanks before a NUL or the line end
  bool nameMatches = false;    // section line: names the wanted section; key line: the wanted key
  bool hasValue = false;       // key line holding '=' (before any NUL)
  bool terminated = false;     // a CR LF, CR or LF ends it (else it ends the file)
  std::uint64_t start = 0;
  std::uint64_t contentEnd = 0;  // after the last non-blank byte before a NUL or the line end
  std::uint64_t valueStart = 0;  // trimmed value; an empty value sits right after the '='
  std::uint64_t valueEnd = 0;
  std::uint64_t end = 0;  // after the line's terminator
};

class ProfileScanner {
 public:
  // `file` is read from its current position, which must be the start of the file.
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
  std::uint64_t Offset() const { return base_ + pos_; }

 private:
  static constexpr std::size_t kBufferSize = 32 * 1024;

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
  bool Refill();
  void SkipToLineEnd();
  void ParseSection(ProfileLine& line);
  void ParseKey(ProfileLine& line, bool keysMatter, ValueCapture* capture);
  void ReadTerminator(ProfileLine& line);

  std::FILE* file_;
  const char* section_;
  const char* key_;
  char buffer_[kBufferSize];
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::uint64_t base_ = 0;  // file offset of buffer_[0]
  bool eof_ = false;
  bool failed_ = false;
  bool started_ = false;
  bool sawCr_ = false;
  bool sawLf_ = false;
};

}  // namespace profile_detail
