// Windows' headers in the order they need each other, which is not sorted.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <cstdint>

#include "platform/downloaded_file.h"
#include "platform/process_launcher.h"

bool SpawnLauncher::Launch(const DownloadedFile& program, const std::string& file,
                           const std::string& parameters, const std::string& workingDir) {
  // The caller holds the verified file at this name without write or delete sharing, so
  // the name still leads to it; a last look makes sure before the shell opens it.
  if (!program.IsAt(file)) return false;
  // The shell starts the installer as a program of its own and returns without waiting.
  HINSTANCE result =
      ShellExecuteA(nullptr, "open", file.c_str(), parameters.c_str(), workingDir.c_str(), SW_SHOW);
  // Values above 32 mean success.
  return reinterpret_cast<std::intptr_t>(result) > 32;
}
