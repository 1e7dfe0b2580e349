#include "support/raw_peer.h"

#include <poll.h>
#include <sys/socket.h>

#include <fstream>

using Clock = std::chrono::steady_clock;

std::size_t SendFor(int fd, const std::string& bytes, std::chrono::milliseconds patience) {
  std::size_t sent = 0;
  const auto until = Clock::now() + patience;
  while (sent < bytes.size() && Clock::now() < until) {
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    if (p.revents & (POLLERR | POLLHUP)) break;
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  return sent;
}

std::string ReadUntilClosed(int fd, std::chrono::milliseconds limit) {
  std::string reply;
  const auto until = Clock::now() + limit;
  char buffer[4096];
  while (Clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  return reply;
}

long RssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}
