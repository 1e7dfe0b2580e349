#include <windows.h>

#include <string>

#include "platform/temp_path.h"

std::string TempFolderPath() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(MAX_PATH, path);
  // A path that does not fit (n > MAX_PATH) or a failure leaves nothing usable; the
  // current folder is where the reply files then go.
  if (n == 0 || n > MAX_PATH) return ".\\";
  std::string folder(path, n);
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}
