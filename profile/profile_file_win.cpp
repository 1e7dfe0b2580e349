#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "profile/profile_file.h"

namespace {

std::atomic<unsigned> g_tempCounter{0};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Through a symbolic link the file it points to is replaced, and the link stays.
std::string ResolveLink(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  char resolved[MAX_PATH * 2] = {};
  const DWORD n = GetFinalPathNameByHandleA(h, resolved, sizeof resolved, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  return (n > 0 && n < sizeof resolved) ? std::string(resolved, n) : path;
}

}  // namespace

std::FILE* OpenRegularFile(const char* path, bool& missing) {
  missing = false;
  // Others may go on reading, writing or replacing the file while it is read.
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    // A folder fails here too, with another error: it is not missing, just unreadable.
    missing = IsMissing(GetLastError());
    return nullptr;
  }
  // Devices (NUL, CON, COM1) and pipes are no profile files.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "rb");
  if (!file) _close(fd);
  return file;
}

AtomicFileWriter::AtomicFileWriter(const char* path) : target_(path) {}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) _close(fd_);
  if (!committed_ && !temp_.empty()) DeleteFileA(temp_.c_str());
}

bool AtomicFileWriter::Open() {
  if (target_.empty()) return false;
  DWORD attributes = GetFileAttributesA(target_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    target_ = ResolveLink(target_);
    attributes = GetFileAttributesA(target_.c_str());
  }
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && !IsMissing(GetLastError())) return false;
  if (exists) {
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
    // A file we may not write (its access list says so, or someone holds it without
    // sharing) is left alone.
    HANDLE probe =
        CreateFileA(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
  }

  const std::string folder = FolderOf(target_);
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp_ = folder + ".profile-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(g_tempCounter.fetch_add(1)) + ".tmp";
    h = CreateFileA(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  if (h == INVALID_HANDLE_VALUE) {
    temp_.clear();  // nothing of ours to remove
    return false;
  }
  fd_ = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd_ < 0) {
    CloseHandle(h);
    return false;
  }
  if (exists) {
    // The replacement keeps the original's visible attributes (hidden, system, archive).
    const DWORD keep = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (keep != 0) SetFileAttributesA(temp_.c_str(), keep);
  }
  return true;
}

bool AtomicFileWriter::Write(const char* data, std::size_t size) {
  if (fd_ < 0) return false;
  while (size > 0) {
    const unsigned piece = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    const int written = _write(fd_, data, piece);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) return false;
  const bool flushed = _commit(fd_) == 0;
  const bool closed = _close(fd_) == 0;
  fd_ = -1;
  if (!flushed || !closed) return false;
  if (!MoveFileExA(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  committed_ = true;
  return true;
}
