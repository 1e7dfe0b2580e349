#include "service/profile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "service/profile_file.h"
#include "service/profile_scanner.h"

using profile_detail::IsBlank;
using profile_detail::ProfileLine;
using profile_detail::ProfileScanner;
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
bool HasLineEnd(const char* text) { return std::strpbrk(text, "\r\n") != nullptr; }

bool IsTrimmed(const char* name) {
  const std::size_t n = std::strlen(name);
  return n == 0 || (!IsBlank(static_cast<unsigned char>(name[0])) &&
                    !IsBlank(static_cast<unsigned char>(name[n - 1])));
}

bool CanWrite(const char* section, const char* key, const char* value) {
  if (!section || !key || !value) return false;
  if (HasLineEnd(section) || HasLineEnd(key) || HasLineEnd(value)) return false;
  if (!IsTrimmed(section) || !IsTrimmed(key)) return false;
  return std::strchr(key, '=') == nullptr && key[0] != '[';
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

// Finds where the key goes with the same scanner the reader uses. False on a read error.
bool PlanEdit(std::FILE* in, const char* section, const char* key, const char* value, Edit& edit) {
  bool inSection = section[0] == '\0';  // keys before the first section form the section ""
  bool sectionFound = false;
  bool keyFound = false;
  bool done = false;
  bool anyLine = false;
  bool lastTerminated = true;
  ProfileLine line;
  ProfileLine lastOfSection;
  ProfileLine keyLine;
  std::uint64_t fileSize = 0;
  bool sawCr = false;
  bool sawLf = false;

  if (in) {
    ProfileScanner scanner(in, section, key);
    while (scanner.Next(line, inSection && !done, nullptr)) {
      anyLine = true;
      lastTerminated = line.terminated;
      if (done) continue;  // read on only to learn the file's line ends
      if (line.kind == ProfileLine::Kind::kSection) {
        if (inSection && sectionFound) {
          done = true;
          continue;
        }
        inSection = false;
        if (!sectionFound && line.nameMatches) {
          inSection = sectionFound = true;
          lastOfSection = line;
        }
      } else if (line.kind == ProfileLine::Kind::kKey && inSection) {
        sectionFound = true;
        lastOfSection = line;
        if (line.nameMatches) {
          keyFound = done = true;
          keyLine = line;
        }
      }
    }
    if (scanner.ReadFailed()) return false;
    fileSize = scanner.Offset();
    sawCr = scanner.SawCr();
    sawLf = scanner.SawLf();
  }

  const std::string eol = (sawLf && !sawCr) ? "\n" : "\r\n";
  const std::string keyLineText = std::string(key) + "=" + value + eol;
  if (keyFound && keyLine.hasValue) {
    edit.start = keyLine.valueStart;
    edit.end = keyLine.valueEnd;
    edit.text = value;
  } else if (keyFound) {
    // "key" alone is the key with an empty value; it gets its '=' in place.
    edit.start = edit.end = keyLine.contentEnd;
    edit.text = std::string("=") + value;
  } else if (sectionFound) {
    // After the section's last line, before any blank lines that set off the next one.
    edit.start = edit.end = lastOfSection.end;
    edit.text = (lastOfSection.terminated ? "" : eol) + keyLineText;
  } else {
    edit.start = edit.end = fileSize;
    edit.text = (anyLine && !lastTerminated ? eol : "") + "[" + section + "]" + eol + keyLineText;
  }
  return true;
}

bool Write(const char* section, const char* key, const char* value, const char* path) {
  if (!path || !CanWrite(section, key, value)) return false;

  bool missing = false;
  std::FILE* in = OpenRegularFile(path, missing);
  if (!in && !missing) return false;
  FileCloser closer(in);

  Edit edit;
  if (!PlanEdit(in, section, key, value, edit)) return false;

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

std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* dest, std::size_t size, const char* path) {
  if (!dest || size == 0) return 0;
  if (!section || !key || !path) return CopyDefault(defaultValue, dest, size);
  bool missing = false;
  std::FILE* file = OpenRegularFile(path, missing);
  if (!file) return CopyDefault(defaultValue, dest, size);
  FileCloser closer(file);

  ProfileScanner scanner(file, section, key);
  ValueCapture capture(dest, size);
  bool inSection = section[0] == '\0';  // keys before the first section form the section ""
  bool sectionFound = false;
  ProfileLine line;
  while (scanner.Next(line, inSection, inSection ? &capture : nullptr)) {
    if (line.kind == ProfileLine::Kind::kSection) {
      if (inSection && sectionFound) break;  // only the first section of the name counts
      inSection = false;
      if (!sectionFound && line.nameMatches) inSection = sectionFound = true;
    } else if (line.kind == ProfileLine::Kind::kKey && inSection) {
      sectionFound = true;
      if (line.nameMatches) {
        // The first key of the name wins, even one without '=' (which reads as the default).
        if (line.hasValue) return capture.Length();
        break;
      }
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
  while (scanner.Next(line, false, nullptr)) {
    if (line.kind == ProfileLine::Kind::kSection) {
      if (line.nameMatches) return true;
      beforeFirstSection = false;
    } else if (line.kind == ProfileLine::Kind::kKey && beforeFirstSection && section[0] == '\0') {
      return true;  // keys before the first section form the section ""
    }
  }
  return false;
}
