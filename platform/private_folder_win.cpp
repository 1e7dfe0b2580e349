#include <windows.h>

#include "platform/private_folder.h"

std::string PrivateFolderProblem(const std::string& folder) {
  if (folder.empty()) return "no folder is named";
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return folder + " is missing or not a folder";
  }
  // A junction or link in its place could lead anywhere.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return folder + " is a junction or link";
  return "";
}

bool PrivateFolderUsable(const std::string& folder) { return PrivateFolderProblem(folder).empty(); }

const char* PrivateFolderAdvice() { return "set TEMP to a folder of your own"; }
