#include <windows.h>

#include "service/private_folder.h"

bool PrivateFolderUsable(const std::string& folder) {
  if (folder.empty()) return false;
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // A junction or link in its place could lead anywhere.
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
