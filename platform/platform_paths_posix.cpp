#include <cstdio>
#include <cstdlib>

#include "platform/platform_paths.h"

#ifndef KESTRAVON_INSTALL_DIR
#define KESTRAVON_INSTALL_DIR ""
#endif

const char* PathSeparator() { return "/"; }

bool MoveFileOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string DefaultInstallDir() {
  std::string configured = KESTRAVON_INSTALL_DIR;
  if (!configured.empty()) return configured;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome) return std::string(dataHome) + "/kestravon";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/share/kestravon";
}
