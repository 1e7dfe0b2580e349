#include <windows.h>

#include "platform/platform_paths.h"

#ifndef KESTRAVON_INSTALL_DIR
#define KESTRAVON_INSTALL_DIR ""
#endif

const char* PathSeparator() { return "\\"; }

bool MoveFileOver(const std::string& from, const std::string& to) {
  // The C runtime's rename refuses an existing destination; a second update must replace
  // the installer the first one left.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string DefaultInstallDir() {
  std::string configured = KESTRAVON_INSTALL_DIR;
  return configured.empty() ? std::string("c:\\KESTRAVON") : configured;
}
