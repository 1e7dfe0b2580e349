#include "slow_crowd.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "support/loopback_socket.h"

SlowCrowd::SlowCrowd(int port, int size, std::string trickle, int everyMs)
    : port_(port), trickle_(std::move(trickle)), everyMs_(everyMs), members_(static_cast<std::size_t>(size)) {
  for (std::size_t i = 0; i < members_.size(); ++i) {
    members_[i].trickles = i % 2 == 1;
    members_[i].fd = loopback::ConnectWithoutWaiting(port_);
  }
  thread_ = std::thread([this] { Run(); });
}

SlowCrowd::~SlowCrowd() {
  running_ = false;
  thread_.join();
  for (Member& m : members_) {
    if (m.fd >= 0) close(m.fd);
  }
}

void SlowCrowd::Run() {
  while (running_) {
    int open = 0;
    for (Member& m : members_) {
      bool gone = m.fd < 0;
      if (!gone) {
        pollfd p{m.fd, POLLIN, 0};
        char buffer[512];
        // Readable means an answer or the end: either way this one is through.
        if (poll(&p, 1, 0) > 0 && recv(m.fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) gone = true;
      }
      if (gone) {
        if (m.fd >= 0) close(m.fd);
        m.fd = loopback::ConnectWithoutWaiting(port_);
        m.sent = 0;
        ++reopened_;
        continue;
      }
      ++open;
      if (m.trickles && m.sent < trickle_.size() &&
          send(m.fd, &trickle_[m.sent], 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1) {
        ++m.sent;
      }
    }
    open_ = open;
    std::this_thread::sleep_for(std::chrono::milliseconds(everyMs_));
  }
}
