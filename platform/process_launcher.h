#pragma once
// Starts a downloaded program and does not wait for it.
#include <string>

class DownloadedFile;

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts the program held open in `program`, whose name is `file`, with the single
  // argument `parameters`, in `workingDir`. What runs is the held file itself: on POSIX
  // it is started from its descriptor, whatever `file` names by then; on Windows the
  // caller holds it at `file` without write or delete sharing (DownloadedFile::HoldAt)
  // until this returns. Returns false when it could not be started.
  virtual bool Launch(const DownloadedFile& program, const std::string& file, const std::string& parameters,
                      const std::string& workingDir) = 0;
};

// POSIX: a child of its own that starts the descriptor with default signal dispositions
// and no blocked signals (whatever the calling thread blocks or the process ignores),
// reaped so no zombie remains. Windows: ShellExecuteA ("open", SW_SHOW).
class SpawnLauncher : public ProcessLauncher {
 public:
  bool Launch(const DownloadedFile& program, const std::string& file, const std::string& parameters,
              const std::string& workingDir) override;
};
