#include "platform/downloaded_file.h"

bool DownloadedFile::ReadText(std::string& text, long long maxBytes) const {
  const long long size = Size();
  if (size < 0 || size > maxBytes) return false;
  text.clear();
  bool fits = true;
  const bool read = Read([&](const unsigned char* data, std::size_t n) {
    // The file may grow between the size check and the read; what is kept stays capped.
    // Compared as room left (text never exceeds maxBytes), so no sum can wrap.
    if (n > static_cast<std::size_t>(maxBytes) - text.size()) {
      fits = false;
      return;
    }
    text.append(reinterpret_cast<const char*>(data), n);
  });
  return read && fits;
}
