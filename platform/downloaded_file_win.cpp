#include <windows.h>

#include <vector>

#include "platform/downloaded_file.h"

namespace {

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool Identify(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
  return GetFileInformationByHandle(file, &info) != 0;
}

std::uint64_t IndexOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

// Opens the name itself, a link or junction included, never what it points to.
HANDLE OpenName(const std::string& path, DWORD access, DWORD share) {
  return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

DownloadedFile::~DownloadedFile() { Close(); }

bool DownloadedFile::Open(const std::string& path) {
  Close();
  // No one may write to it while it is held; it may still be renamed (share delete).
  HANDLE file = OpenName(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD notPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  if (!Identify(file, info) || (info.dwFileAttributes & notPlain) != 0 || info.nNumberOfLinks != 1 ||
      GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  device_ = info.dwVolumeSerialNumber;
  inode_ = IndexOf(info);
  return true;
}

void DownloadedFile::Close() {
  if (H(handle_) != INVALID_HANDLE_VALUE) CloseHandle(H(handle_));
  handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}

long long DownloadedFile::Size() const {
  LARGE_INTEGER size{};
  if (H(handle_) == INVALID_HANDLE_VALUE || !GetFileSizeEx(H(handle_), &size)) return -1;
  return size.QuadPart;
}

bool DownloadedFile::Read(const std::function<void(const unsigned char*, std::size_t)>& sink) const {
  if (H(handle_) == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(H(handle_), start, nullptr, FILE_BEGIN)) return false;
  std::vector<unsigned char> buffer(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(H(handle_), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
    if (got == 0) return true;
    sink(buffer.data(), got);
  }
}

// A program runs by its name's extension here; there is no permission bit to set.
bool DownloadedFile::MakeExecutable() { return H(handle_) != INVALID_HANDLE_VALUE; }

bool DownloadedFile::IsAt(const std::string& path) const {
  if (H(handle_) == INVALID_HANDLE_VALUE) return false;
  HANDLE there = OpenName(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (there == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION theirs{};
  const bool same = Identify(there, theirs) &&
                    (theirs.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                    theirs.dwVolumeSerialNumber == device_ && IndexOf(theirs) == inode_;
  CloseHandle(there);
  return same;
}

bool DownloadedFile::HoldAt(const std::string& path) {
  if (H(handle_) == INVALID_HANDLE_VALUE) return false;
  // Read sharing only: the program loader may still open it to run it, but no one may
  // write, rename, delete or replace it while this handle is open.
  HANDLE held = OpenName(path, GENERIC_READ, FILE_SHARE_READ);
  if (held == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool same = Identify(held, info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                    info.dwVolumeSerialNumber == device_ && IndexOf(info) == inode_;
  if (!same) {
    CloseHandle(held);
    return false;
  }
  CloseHandle(H(handle_));
  handle_ = reinterpret_cast<std::intptr_t>(held);
  return true;
}
