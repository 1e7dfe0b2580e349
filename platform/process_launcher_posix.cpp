#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

#include "platform/downloaded_file.h"
#include "platform/process_launcher.h"

extern char** environ;

namespace {

// The child, between fork and exec: only async-signal-safe calls. It ends in the program
// or, having written why not to `report`, in _exit.
[[noreturn]] void StartInChild(int program, const char* workingDir, char* const argv[], int report) {
  // Every disposition back to its default: an ignored signal (the daemon ignores SIGPIPE)
  // would stay ignored in the program, which could then not be stopped as others are.
  struct sigaction byDefault = {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &byDefault, nullptr);
  }
  int error = 0;
  // The descriptor stays open across exec: a script's interpreter reads it as /dev/fd/N.
  if (chdir(workingDir) != 0 || fcntl(program, F_SETFD, 0) != 0) {
    error = errno;
  } else {
    // Nothing blocked: the daemon's threads block SIGTERM and SIGINT, and the mask would
    // otherwise pass to the program.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    fexecve(program, argv, environ);
    error = errno;
  }
  while (write(report, &error, sizeof error) < 0 && errno == EINTR) {
  }
  _exit(127);
}

void Reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

// fork and fexecve rather than posix_spawn: only a descriptor proves which file was
// verified, and posix_spawn starts programs by name. fork copies the page tables, a cost
// paid once per run at most.
bool SpawnLauncher::Launch(const DownloadedFile& program, const std::string& file,
                           const std::string& parameters, const std::string& workingDir) {
  const int fd = static_cast<int>(program.NativeHandle());
  if (fd < 0) return false;
  // No shell ever sees the path or the argument.
  std::vector<char*> argv = {const_cast<char*>(file.c_str()), const_cast<char*>(parameters.c_str()), nullptr};
  // The child tells why it could not start the program here; end of file means it did.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  // Blocked across the fork, so that no handler of ours runs in the child before its
  // dispositions are reset.
  sigset_t all;
  sigset_t saved;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  const pid_t pid = fork();
  if (pid == 0) StartInChild(fd, workingDir.c_str(), argv.data(), report[1]);
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    return false;
  }
  int error = 0;
  ssize_t n = 0;
  do {
    n = read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n != 0) {
    Reap(pid);
    return false;
  }
  // The client does not wait for the installer, but reaps it so no zombie stays behind.
  std::thread(Reap, pid).detach();
  return true;
}
