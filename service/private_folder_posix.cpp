#include "service/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

bool PrivateFolderUsable(const std::string& folder) {
  if (folder.empty()) return false;
  std::string name = folder;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat st;
  if (lstat(name.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}
