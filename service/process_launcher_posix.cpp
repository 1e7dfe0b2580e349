#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "service/process_launcher.h"

extern char** environ;

bool SpawnLauncher::Launch(const std::string& file, const std::string& parameters,
                           const std::string& workingDir) {
  // The child starts in the given folder; no shell ever sees the path or the argument.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
  std::vector<char*> argv = {const_cast<char*>(file.c_str()), const_cast<char*>(parameters.c_str()),
                             nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, file.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  // The client does not wait for the installer, but reaps it so no zombie stays behind.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}
