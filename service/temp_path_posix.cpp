#include <cstdlib>
#include <string>

#include "service/url_fetcher.h"

std::string TempFolderPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir && *dir) ? dir : "/tmp/";
  if (path.back() != '/') path += '/';
  return path;
}
