#pragma once
// A file the client has just downloaded, held open while it is checked and put to use:
// opened without following links, refused unless it is a plain file of its own with a
// single name, and read, marked runnable and compared with a path through that one
// descriptor. So what is verified is what gets renamed and started, even if the name is
// swapped underneath.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class DownloadedFile {
 public:
  DownloadedFile() = default;
  ~DownloadedFile();
  DownloadedFile(const DownloadedFile&) = delete;
  DownloadedFile& operator=(const DownloadedFile&) = delete;

  // False when `path` is a link, not a regular file, has more than one name, or (POSIX)
  // belongs to someone else. On success others lose any write access they had by mode.
  bool Open(const std::string& path);
  void Close();

  // The size now, or -1.
  long long Size() const;
  // Feeds the whole content, from the first byte, to `sink` in pieces; false on a read error.
  bool Read(const std::function<void(const unsigned char*, std::size_t)>& sink) const;
  // Reads the whole content into `text` when it holds at most `maxBytes`.
  bool ReadText(std::string& text, long long maxBytes) const;
  // Runnable by its owner, readable by others (nothing to do on Windows).
  bool MakeExecutable();
  // True when `path`, not following a link, names this very file.
  bool IsAt(const std::string& path) const;
  // Like IsAt, and on Windows the file is held from now on without write or delete
  // sharing, so until Close no one can write to it, rename it or put another file at
  // `path`. (On POSIX the program is started from this descriptor, whatever `path` names.)
  bool HoldAt(const std::string& path);
  // The descriptor (POSIX) or HANDLE (Windows) the file is held by.
  std::intptr_t NativeHandle() const { return handle_; }

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows
  // Which file it is, taken when it was opened: device (volume) and inode (file index).
  // Wine forgets a renamed handle's volume, so IsAt compares with these.
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
};
