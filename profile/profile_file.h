#pragma once
// Opening a profile file for reading, and replacing one as a whole.
#include <cstddef>
#include <cstdio>
#include <string>

// Opens `path` for reading in binary mode when it is a regular file. Anything else
// (a folder, a pipe, a device that never ends) gives null without waiting, as does a
// missing file, which also sets `missing`.
std::FILE* OpenRegularFile(const char* path, bool& missing);

// The new content goes to a temporary file in the same folder, which is flushed and
// renamed over the original only once completely written, so a failure at any step
// leaves the original as it was.

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const char* path);
  ~AtomicFileWriter();  // removes the temporary file unless committed
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file (mode 0600, or the original's mode when it exists). False
  // when the path names something other than a regular file, a read-only file (no write
  // bit at all, also for root), a file we may not write, or a folder that takes no new file.
  bool Open();
  bool Write(const char* data, std::size_t size);
  // Flushes the temporary file, gives it the original's permission bits and owner
  // (as far as allowed) and renames it over the original.
  bool Commit();

 private:
  std::string target_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
};
