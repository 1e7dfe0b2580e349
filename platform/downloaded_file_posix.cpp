#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/downloaded_file.h"

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

DownloadedFile::~DownloadedFile() { Close(); }

bool DownloadedFile::Open(const std::string& path) {
  Close();
  // O_NONBLOCK: a FIFO planted under the name must not hang the worker in open().
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != geteuid() ||
      fchmod(fd, 0600) != 0) {
    close(fd);
    return false;
  }
  handle_ = fd;
  device_ = static_cast<std::uint64_t>(st.st_dev);
  inode_ = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

void DownloadedFile::Close() {
  if (handle_ >= 0) close(Fd(handle_));
  handle_ = -1;
}

long long DownloadedFile::Size() const {
  struct stat st {};
  if (handle_ < 0 || fstat(Fd(handle_), &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool DownloadedFile::Read(const std::function<void(const unsigned char*, std::size_t)>& sink) const {
  if (handle_ < 0) return false;
  std::vector<unsigned char> buffer(64 * 1024);
  off_t offset = 0;
  for (;;) {
    const ssize_t n = pread(Fd(handle_), buffer.data(), buffer.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    sink(buffer.data(), static_cast<std::size_t>(n));
    offset += n;
  }
}

bool DownloadedFile::MakeExecutable() { return handle_ >= 0 && fchmod(Fd(handle_), 0755) == 0; }

bool DownloadedFile::IsAt(const std::string& path) const {
  struct stat there {};
  if (handle_ < 0 || lstat(path.c_str(), &there) != 0) return false;
  return S_ISREG(there.st_mode) && static_cast<std::uint64_t>(there.st_dev) == device_ &&
         static_cast<std::uint64_t>(there.st_ino) == inode_;
}

bool DownloadedFile::HoldAt(const std::string& path) { return IsAt(path); }
