#include <sys/stat.h>

#include "platform/written_file.h"

bool IsWrittenFile(const std::string& path, const FileIdentity& file) {
  struct stat st;
  if (!file.known || lstat(path.c_str(), &st) != 0) return false;
  return S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_dev) == file.volume &&
         static_cast<unsigned long long>(st.st_ino) == file.index &&
         static_cast<unsigned long long>(st.st_size) == file.size;
}
