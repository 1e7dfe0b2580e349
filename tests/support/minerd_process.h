#pragma once
// Runs the kestravon-minerd program for a test: spawn it with arguments, read its first
// line of standard output (the view's address, or that it runs without one), keep its
// standard error in a file, stop it with a signal. The destructor kills what still runs.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

class MinerdProcess {
 public:
  MinerdProcess(std::vector<std::string> args, std::string stderrPath);
  ~MinerdProcess();
  MinerdProcess(const MinerdProcess&) = delete;
  MinerdProcess& operator=(const MinerdProcess&) = delete;

  // "NAME=value" entries that replace or join this process's environment for the
  // program; set before Start().
  void SetEnvironment(std::vector<std::string> entries) { environment_ = std::move(entries); }

  // Spawns the program and waits for its first line; false when it ends or says nothing
  // in time (StartError tells which).
  bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  const std::string& FirstLine() const { return firstLine_; }
  const std::string& StartError() const { return startError_; }
  // The port of a "listening on http://127.0.0.1:PORT" line, or 0.
  int ViewPort() const;
  pid_t Pid() const { return pid_; }

  // Sends `signal` and waits for the exit; SIGKILL after `grace`. The wait status, or -1.
  int Stop(int signal, std::chrono::milliseconds grace = std::chrono::seconds(20));
  // Waits for an exit without signalling (a program that refuses to start).
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));

 private:
  std::vector<std::string> args_;
  std::vector<std::string> environment_;
  std::string stderrPath_;
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  std::string firstLine_;
  std::string startError_;
};
