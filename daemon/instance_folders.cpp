#include "daemon/instance_folders.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/temp_path.h"

namespace {
std::string Absolute(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (resolved) return resolved.get();
  return path;  // a folder not made yet: its name as given
}
}  // namespace

std::string InstallFolderKey(const std::string& installDir) {
  // FNV-1a: no secret here, only a stable, short, file-name-safe name.
  uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : Absolute(installDir)) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string InstanceTempFolder(const std::string& installDir, const std::string& tempDir) {
  std::string folder;
  if (!tempDir.empty()) {
    folder = tempDir;
  } else if (!installDir.empty()) {
    folder = TempFolderPath() + "minerd-" + InstallFolderKey(installDir);
  } else {
    return TempFolderPath();
  }
  if (folder.back() != '/') folder += '/';
  mkdir(folder.c_str(), 0700);
  return folder;
}
