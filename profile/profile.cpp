#include "profile/profile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ansi_code_page.h"
#include "profile/profile_file.h"
#include "profile/profile_scanner.h"

using profile_detail::IsBlank;
using profile_detail::ProfileLine;
using profile_detail::ProfileScanner;
using profile_detail::TextEncoding;
using profile_detail::TrimmedName;
using profile_detail::ValueCapture;

namespace {

class FileCloser {
 public:
  explicit FileCloser(std::FILE* file) : file_(file) {}
  ~FileCloser() { Close(); }
  void Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  std::FILE* file_;
};

std::size_t CopyDefault(const char* text, char* dest, std::size_t size) {
  std::size_t n = 0;
  if (text) {
    while (n < size - 1 && text[n] != '\0') ++n;
    std::memmove(dest, text, n);
  }
  dest[n] = '\0';
  return n;
}

// Writing must never produce a line that reads back differently from what was asked.
bool HasLineEnd(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Names are trimmed as the reader trims them; what is left must come back as one key
// line of that name: no line end, no '=' in the key, no key line that would read as a
// section ("[x" is a key, "[x]=1" a section), no key that starts like a byte-order mark.
bool CanWrite(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineEnd(section) || HasLineEnd(key) || HasLineEnd(value)) return false;
  if (key.find('=') != std::string_view::npos) return false;
  // A key of section "" may open the file, where it would read as a byte-order mark.
  for (std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    if (key.substr(0, mark.size()) == mark) return false;
  }
  const bool bracketLine =
      !key.empty() && key.front() == '[' &&
      (key.find(']') != std::string_view::npos || value.find(']') != std::string_view::npos);
  return !bracketLine;
}

void AppendUtf8(char16_t unit, std::string& out) {
  if (unit < 0x80) {
    out += static_cast<char>(unit);
  } else if (unit < 0x800) {
    out += static_cast<char>(0xC0 | (unit >> 6));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (unit >> 12));
    out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  }
}

// A file saved as Unicode gets its new text in its own encoding; false when the text
// has no such form that reads back the same.
bool Encode(TextEncoding encoding, std::string& text) {
  if (encoding == TextEncoding::kAnsi) return true;
  AnsiCodePage codePage;
  std::u16string units;
  if (!codePage.ToUtf16(text, units)) return false;
  std::string bytes;
  for (char16_t unit : units) {
    if (encoding == TextEncoding::kUtf8) {
      AppendUtf8(unit, bytes);
    } else if (encoding == TextEncoding::kUtf16Le) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    } else {
      bytes += static_cast<char>(unit >> 8);
      bytes += static_cast<char>(unit & 0xFF);
    }
  }
  text = std::move(bytes);
  return true;
}

// Copies `count` bytes of `in` to `out` (or drops them when out is null); false on a
// short read or a failed write.
bool CopyBytes(std::FILE* in, AtomicFileWriter* out, std::uint64_t count) {
  char buffer[32 * 1024];
  while (count > 0) {
    const std::size_t want = count < sizeof buffer ? static_cast<std::size_t>(count) : sizeof buffer;
    const std::size_t got = std::fread(buffer, 1, want, in);
    if (got != want) return false;
    if (out && !out->Write(buffer, got)) return false;
    count -= got;
  }
  return true;
}

bool CopyRest(std::FILE* in, AtomicFileWriter& out) {
  char buffer[32 * 1024];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (!out.Write(buffer, got)) return false;
  }
  return !std::ferror(in);
}

// The one change a write makes: bytes [start, end) of the file become `text`.
struct Edit {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::string text;
};

// Finds where the key goes with the same scanner the reader uses. False on a read error
// or when the new text has no form in the file's encoding.
bool PlanEdit(std::FILE* in, std::string_view section, std::string_view key, std::string_view value,
              Edit& edit) {
  // The lines before the first section are the section "", always the first of that
  // name, even with no key in it.
  bool inSection = section.empty();
  bool sectionFound = inSection;
  bool keyFound = false;
  bool done = false;
  bool anyLine = false;
  bool lastTerminated = true;
  bool sectionHasLine = false;  // lastOfSection is set
  ProfileLine line;
  ProfileLine lastOfSection;
  ProfileLine keyLine;
  std::uint64_t fileSize = 0;
  std::uint64_t markLength = 0;
  TextEncoding encoding = TextEncoding::kAnsi;
  bool sawCr = false;
  bool sawLf = false;

  const std::string sectionText(section);
  const std::string keyText(key);
  if (in) {
    ProfileScanner scanner(in, sectionText.c_str(), keyText.c_str());
    while (scanner.Next(line, inSection && !done, nullptr)) {
      anyLine = true;
      lastTerminated = line.terminated;
      if (done) continue;  // read on only to learn the file's line ends
      if (line.kind == ProfileLine::Kind::kSection) {
        if (inSection) {
          done = true;  // only the first section of the name counts
          continue;
        }
        if (!sectionFound && line.nameMatches) {
          inSection = sectionFound = sectionHasLine = true;
          lastOfSection = line;
        }
      } else if (line.kind == ProfileLine::Kind::kKey && inSection) {
        sectionHasLine = true;
        lastOfSection = line;
        if (line.nameMatches) {
          keyFound = done = true;
          keyLine = line;
        }
      }
    }
    if (scanner.ReadFailed()) return false;
    fileSize = scanner.Offset();
    markLength = scanner.MarkLength();
    encoding = scanner.Encoding();
    sawCr = scanner.SawCr();
    sawLf = scanner.SawLf();
  }

  if (encoding != TextEncoding::kAnsi) {
    // Half a UTF-16 unit at the end would throw every added unit out of step.
    const bool utf16 = encoding != TextEncoding::kUtf8;
    if (utf16 && (fileSize - markLength) % 2 != 0) return false;
    // Each name and the value must have a Unicode form, whichever of them is written.
    AnsiCodePage codePage;
    std::u16string units;
    for (const std::string& text : {sectionText, keyText, std::string(value)}) {
      if (!codePage.ToUtf16(text, units)) return false;
    }
  }

  const std::string eol = (sawLf && !sawCr) ? "\n" : "\r\n";
  const std::string keyLineText = keyText + "=" + std::string(value) + eol;
  if (keyFound && keyLine.hasValue) {
    edit.start = keyLine.valueStart;
    edit.end = keyLine.valueEnd;
    edit.text = value;
    // In front of a NUL, blanks at the value's end would stay part of it.
    while (keyLine.valueBeforeNul && !edit.text.empty() &&
           IsBlank(static_cast<unsigned char>(edit.text.back()))) {
      edit.text.pop_back();
    }
  } else if (keyFound) {
    // "key" alone is the key with an empty value; it gets its '=' in place.
    edit.start = edit.end = keyLine.contentEnd;
    edit.text = std::string("=") + std::string(value);
  } else if (sectionFound && sectionHasLine) {
    // After the section's last line, before any blank lines that set off the next one.
    edit.start = edit.end = lastOfSection.end;
    edit.text = (lastOfSection.terminated ? "" : eol) + keyLineText;
  } else if (sectionFound) {
    // The section "" without a key yet: its first line opens the file.
    edit.start = edit.end = markLength;
    edit.text = keyLineText;
  } else {
    edit.start = edit.end = fileSize;
    edit.text = (anyLine && !lastTerminated ? eol : "") + "[" + sectionText + "]" + eol + keyLineText;
  }
  return Encode(encoding, edit.text);
}

bool Write(const char* section, const char* key, const char* value, const char* path) {
  if (!path || !section || !key || !value) return false;
  const std::string_view sectionName = TrimmedName(section);
  const std::string_view keyName = TrimmedName(key);
  if (!CanWrite(sectionName, keyName, value)) return false;

  bool missing = false;
  std::FILE* in = OpenRegularFile(path, missing);
  if (!in && !missing) return false;
  FileCloser closer(in);

  Edit edit;
  if (!PlanEdit(in, sectionName, keyName, value, edit)) return false;

  AtomicFileWriter out(path);
  if (!out.Open()) return false;
  if (in) {
    if (std::fseek(in, 0, SEEK_SET) != 0) return false;
    std::clearerr(in);
    if (!CopyBytes(in, &out, edit.start)) return false;
  }
  if (!out.Write(edit.text.data(), edit.text.size())) return false;
  if (in) {
    if (!CopyBytes(in, nullptr, edit.end - edit.start)) return false;
    if (!CopyRest(in, out)) return false;
  }
  // Some platforms cannot replace a file that is still open.
  closer.Close();
  return out.Commit();
}

}  // namespace

std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue, char* dest,
                              std::size_t size, const char* path) {
  if (!dest || size == 0) return 0;
  if (!section || !key || !path) return CopyDefault(defaultValue, dest, size);
  bool missing = false;
  std::FILE* file = OpenRegularFile(path, missing);
  if (!file) return CopyDefault(defaultValue, dest, size);
  FileCloser closer(file);

  ProfileScanner scanner(file, section, key);
  ValueCapture capture(dest, size);
  // The lines before the first section are the section "", always the first of that
  // name: a later "[]" is never searched.
  bool inSection = TrimmedName(section).empty();
  ProfileLine line;
  while (scanner.Next(line, inSection, inSection ? &capture : nullptr)) {
    if (line.kind == ProfileLine::Kind::kSection) {
      if (inSection) break;  // only the first section of the name counts
      inSection = line.nameMatches;
    } else if (line.kind == ProfileLine::Kind::kKey && inSection && line.nameMatches) {
      // The first key of the name wins, even one without '=' (which reads as the default).
      if (line.hasValue) return capture.Length();
      break;
    }
  }
  return CopyDefault(defaultValue, dest, size);
}

bool WriteProfileString(const char* section, const char* key, const char* value, const char* path) {
  try {
    return Write(section, key, value, path);
  } catch (...) {
    return false;  // out of memory: nothing was replaced
  }
}

bool ProfileSectionExists(const char* section, const char* path) {
  if (!section || !path) return false;
  bool missing = false;
  std::FILE* file = OpenRegularFile(path, missing);
  if (!file) return false;
  FileCloser closer(file);

  ProfileScanner scanner(file, section, "");
  ProfileLine line;
  bool beforeFirstSection = true;
  const bool empty = TrimmedName(section).empty();
  while (scanner.Next(line, false, nullptr)) {
    if (line.kind == ProfileLine::Kind::kSection) {
      if (line.nameMatches) return true;
      beforeFirstSection = false;
    } else if (line.kind == ProfileLine::Kind::kKey && beforeFirstSection && empty) {
      return true;  // keys before the first section form the section ""
    }
  }
  return false;
}
