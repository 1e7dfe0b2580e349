#include "profile/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<unsigned> g_tempCounter{0};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace

std::FILE* OpenRegularFile(const char* path, bool& missing) {
  missing = false;
  // Non-blocking, so that opening a pipe does not wait for a writer.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT;
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  // Regular files ignore O_NONBLOCK; clear it all the same.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "rb");
  if (!file) close(fd);
  return file;
}

AtomicFileWriter::AtomicFileWriter(const char* path) : target_(path) {}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
}

bool AtomicFileWriter::Open() {
  if (target_.empty()) return false;
  struct stat st;
  // Through a symbolic link the file it points to is replaced, and the link stays.
  if (lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(target_.c_str(), nullptr)) {
      target_ = real;
      std::free(real);
    }
  }
  bool exists = stat(target_.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return false;
  // A file without any write bit is read-only also for root, whom access() lets through.
  if (exists && (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || access(target_.c_str(), W_OK) != 0)) {
    return false;
  }

  const std::string folder = FolderOf(target_);
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = folder + ".profile-" + std::to_string(getpid()) + "-" +
            std::to_string(g_tempCounter.fetch_add(1)) + ".tmp";
    // config.ini holds the machine's identity: a new file is the user's alone.
    fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_.clear();  // nothing of ours to remove
    return false;
  }
  if (exists) {
    // Owner first: changing it may clear set-id bits that the mode then restores.
    // Only a privileged writer may hand the file back to another owner.
    if (fchown(fd_, st.st_uid, st.st_gid) != 0 && fchown(fd_, static_cast<uid_t>(-1), st.st_gid) != 0) {
      // Keeping our own owner and group is all that is left.
    }
    if (fchmod(fd_, st.st_mode & 07777) != 0) return false;
  }
  return true;
}

bool AtomicFileWriter::Write(const char* data, std::size_t size) {
  if (fd_ < 0) return false;
  while (size > 0) {
    const ssize_t written = write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) return false;
  const bool flushed = fsync(fd_) == 0;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (!flushed || !closed) return false;
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  // Make the rename itself durable; the file is already replaced if this fails.
  const int folder = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}
