#pragma once
// Starts a downloaded program and does not wait for it.
#include <string>

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts `file` with the single argument `parameters`, in `workingDir`.
  // Returns false when it could not be started.
  virtual bool Launch(const std::string& file, const std::string& parameters,
                      const std::string& workingDir) = 0;
};

// posix_spawn, the child reaped so no zombie remains; ShellExecuteA ("open", SW_SHOW) on Windows.
class SpawnLauncher : public ProcessLauncher {
 public:
  bool Launch(const std::string& file, const std::string& parameters,
              const std::string& workingDir) override;
};
