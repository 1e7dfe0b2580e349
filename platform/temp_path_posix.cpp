#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/temp_path.h"

std::string TempFolderPath() {
  std::string path;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) {
    path = runtime;
    if (path.back() != '/') path += '/';
    path += "kestravon/";
  } else {
    // The shared temporary folder is not private; a folder of our own inside it is.
    const char* dir = std::getenv("TMPDIR");
    path = (dir && *dir) ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    path += "kestravon-" + std::to_string(static_cast<unsigned long>(geteuid())) + "/";
  }
  // Whether what stands there may be used is decided at each exchange.
  mkdir(path.c_str(), 0700);
  return path;
}
