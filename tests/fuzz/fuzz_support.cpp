#include "fuzz_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

namespace {

std::string MakeScratchFolder() {
  std::string base;
  struct stat st {};
  if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0) {
    base = "/dev/shm";
  } else if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) {
    base = tmp;
  } else {
    base = "/tmp";
  }
  std::string pattern = base + "/kestravon-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  return pattern;
}

void RemoveScratchFolder() {
  const std::string& folder = ScratchFolder();
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        unlink((folder + "/" + entry->d_name).c_str());
      }
    }
    closedir(dir);
  }
  rmdir(folder.c_str());
}

}  // namespace

const std::string& ScratchFolder() {
  static const std::string folder = MakeScratchFolder();
  // Registered once the folder's name is complete, so it runs before that name is destroyed.
  static const bool cleanup = std::atexit(RemoveScratchFolder) == 0;
  (void)cleanup;
  return folder;
}

std::string ScratchFile(const char* name) { return ScratchFolder() + "/" + name; }

void WriteFile(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
}

bool ReadFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[16 * 1024];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
  std::fclose(f);
  return true;
}

void RemoveFile(const std::string& path) { unlink(path.c_str()); }

std::size_t ScratchEntries() {
  std::size_t count = 0;
  if (DIR* dir = opendir(ScratchFolder().c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) ++count;
    }
    closedir(dir);
  }
  return count;
}

std::uint8_t Input::Byte() { return pos_ < size_ ? static_cast<std::uint8_t>(data_[pos_++]) : 0; }

std::string Input::Text() {
  const std::size_t start = pos_;
  while (pos_ < size_ && data_[pos_] != '\0') ++pos_;
  std::string text(data_ + start, pos_ - start);
  if (pos_ < size_) ++pos_;
  return text;
}

std::string Show(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

void Fail(const char* file, int line, const char* condition, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n%s\n", file, line, condition, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz
