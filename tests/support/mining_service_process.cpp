#include "mining_service_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace {

constexpr const char* kListeningPrefix = "mining-service listening on ";

// Reads one line (without its '\n') from fd until the deadline. False on EOF or time-out.
bool ReadLine(int fd, std::chrono::steady_clock::time_point deadline, std::string& line, std::string& error) {
  line.clear();
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      error = "no listening line in time (got '" + line + "')";
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char c = 0;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "the service closed its output before the listening line (got '" + line + "')";
      return false;
    }
    if (c == '\n') return true;
    line.push_back(c);
  }
}

}  // namespace

int ExitCodeOf(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1; }

MiningServiceProcess::MiningServiceProcess(MiningServiceOptions options) : options_(std::move(options)) {}

MiningServiceProcess::~MiningServiceProcess() { Stop(); }

std::string MiningServiceProcess::BaseUrl() const {
  return Scheme() + "://" + Host() + ":" + std::to_string(port_);
}

std::vector<std::string> MiningServiceProcess::Arguments() const {
  // A test process that crashes must not leave its service behind.
  std::vector<std::string> args{options_.binary, "--exit-with-parent",         "--bind", "127.0.0.1",
                                "--port",        std::to_string(options_.port)};
  auto add = [&args](const char* name, const std::string& value) {
    if (value.empty()) return;
    args.emplace_back(name);
    args.push_back(value);
  };
  add("--db", options_.databasePath);
  add("--patch-dir", options_.patchDir);
  add("--client-version", options_.clientVersion);
  add("--seed-serial", options_.seedSerial);
  if (options_.boostEvery >= 0) add("--boost-every", std::to_string(options_.boostEvery));
  add("--tls-cert", options_.tlsCert);
  add("--tls-key", options_.tlsKey);
  args.insert(args.end(), options_.extraArgs.begin(), options_.extraArgs.end());
  return args;
}

bool MiningServiceProcess::Start(std::chrono::milliseconds timeout) {
  startError_.clear();
  if (Running()) {
    startError_ = "already running";
    return false;
  }
  if (options_.binary.empty()) {
    startError_ = "no program path given";
    return false;
  }
  int fds[2];
  // Close-on-exec, so services started by other tests in parallel do not hold our pipe.
  if (pipe2(fds, O_CLOEXEC) != 0) {
    startError_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  if (!options_.stderrPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options_.stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
  }
  const std::vector<std::string> args = Arguments();
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, options_.binary.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    startError_ = "cannot start " + options_.binary + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;
  stdoutFd_ = fds[0];

  std::string line;
  std::string error;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (!ReadLine(stdoutFd_, deadline, line, error)) {
    const int status = Stop(SIGKILL, std::chrono::seconds(5));
    startError_ = error + "; exit code " + std::to_string(ExitCodeOf(status));
    return false;
  }
  firstLine_ = line;
  const auto colon = line.rfind(':');
  const std::string expected = kListeningPrefix + Scheme() + "://";
  if (line.rfind(expected, 0) != 0 || colon == std::string::npos) {
    Stop(SIGKILL, std::chrono::seconds(5));
    startError_ = "unexpected first line '" + line + "'";
    return false;
  }
  port_ = std::atoi(line.c_str() + colon + 1);
  if (port_ <= 0 || port_ > 65535) {
    Stop(SIGKILL, std::chrono::seconds(5));
    startError_ = "no port in '" + line + "'";
    return false;
  }
  return true;
}

int MiningServiceProcess::Stop(int signal, std::chrono::milliseconds grace) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + grace;
  bool killed = false;
  for (;;) {
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (r < 0 && errno != EINTR) {
      status = -1;
      break;
    }
    if (!killed && std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pid_ = -1;
  CloseOutput();
  return status;
}

void MiningServiceProcess::CloseOutput() {
  if (stdoutFd_ >= 0) close(stdoutFd_);
  stdoutFd_ = -1;
}
