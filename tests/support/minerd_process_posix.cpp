#include "support/minerd_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <utility>

extern char** environ;

namespace {
// This process's environment with `entries` put in: an entry replaces one of its name.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& entries) {
  std::vector<std::string> merged;
  const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const std::string& mine : entries) replaced = replaced || nameOf(mine) == nameOf(entry);
    if (!replaced) merged.push_back(entry);
  }
  merged.insert(merged.end(), entries.begin(), entries.end());
  return merged;
}
}  // namespace

MinerdProcess::MinerdProcess(std::vector<std::string> args, std::string stderrPath)
    : args_(std::move(args)), stderrPath_(std::move(stderrPath)) {}

MinerdProcess::~MinerdProcess() {
  if (pid_ > 0) Stop(SIGKILL, std::chrono::seconds(5));
  if (stdoutFd_ >= 0) close(stdoutFd_);
}

bool MinerdProcess::Start(std::chrono::milliseconds timeout) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    startError_ = "pipe failed";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, stderrPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  std::vector<char*> argv;
  argv.reserve(args_.size() + 1);
  for (std::string& a : args_) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = MergedEnvironment(environment_);
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  stdoutFd_ = pipeFds[0];
  if (rc != 0) {
    pid_ = -1;
    startError_ = "spawn failed";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      startError_ = "no first line in time (got '" + firstLine_ + "')";
      return false;
    }
    pollfd p{stdoutFd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char c = 0;
    const ssize_t n = read(stdoutFd_, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      startError_ = "the program ended before its first line (got '" + firstLine_ + "')";
      return false;
    }
    if (c == '\n') return true;
    firstLine_ += c;
  }
}

int MinerdProcess::ViewPort() const {
  const std::string prefix = "listening on http://127.0.0.1:";
  if (firstLine_.rfind(prefix, 0) != 0) return 0;
  return std::atoi(firstLine_.c_str() + prefix.size());
}

int MinerdProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

int MinerdProcess::Stop(int signal, std::chrono::milliseconds grace) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  const int status = Wait(grace);
  if (status != -1) return status;
  kill(pid_, SIGKILL);
  int killed = 0;
  waitpid(pid_, &killed, 0);
  pid_ = -1;
  return -1;
}
