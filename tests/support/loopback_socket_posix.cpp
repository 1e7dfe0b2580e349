#include "loopback_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace loopback {
namespace {

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

int Bind(int type, int& port) {
  int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr = LoopbackAddress(0);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

void SetEnvironment(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

int BindStream(int& port) { return Bind(SOCK_STREAM, port); }

bool Listen(int fd, int backlog) { return listen(fd, backlog) == 0; }

int Accept(int listenFd) { return accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC); }

long Receive(int fd, char* buffer, size_t size) {
  for (;;) {
    ssize_t n = recv(fd, buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long Send(int fd, const char* data, size_t size) {
  for (;;) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

int WaitReadable(const int* fds, int count, int timeoutMs) {
  pollfd polled[4];
  if (count > 4) count = 4;
  for (int i = 0; i < count; ++i) polled[i] = {fds[i], POLLIN, 0};
  for (;;) {
    int n = poll(polled, static_cast<nfds_t>(count), timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -2;
    for (int i = 0; i < count; ++i) {
      if (polled[i].revents != 0) return i;
    }
    return -1;
  }
}

void ShutdownBoth(int fd) { shutdown(fd, SHUT_RDWR); }
void ShutdownSend(int fd) { shutdown(fd, SHUT_WR); }
void Close(int fd) { close(fd); }

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr = LoopbackAddress(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ConnectWithoutWaiting(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr = LoopbackAddress(port);
  // Under way (EINPROGRESS, or EINTR, after which it goes on) or made at once; any other
  // error leaves no connection to hand out.
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS &&
      errno != EINTR) {
    close(fd);
    return -1;
  }
  return fd;
}

void MakeWakePair(int pair[2]) {
  if (pipe2(pair, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

void Wake(int writeEnd) {
  char wake = 1;
  [[maybe_unused]] ssize_t ignored = write(writeEnd, &wake, 1);
}

}  // namespace loopback
