#include "http/head_deadlines.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <utility>

namespace http {

namespace {
// How often deadlines are looked at; a connection outlives its deadline by at most this.
constexpr std::chrono::milliseconds kSweepEvery{50};
}  // namespace

HeadDeadlines::HeadDeadlines(std::chrono::milliseconds headTimeout, std::function<void()> tick)
    : headTimeout_(headTimeout), tick_(std::move(tick)), sweeper_([this] { Sweep(); }) {}

HeadDeadlines::~HeadDeadlines() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  sweeper_.join();
}

void HeadDeadlines::Watch(const void* key, int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  watched_[key] = Entry{fd, Clock::now() + headTimeout_};
  cut_.erase(key);  // a key of a connection long closed, reused
}

HeadDeadlines::Cut HeadDeadlines::Forget(const void* key) {
  std::lock_guard<std::mutex> lock(mutex_);
  watched_.erase(key);
  const auto it = cut_.find(key);
  if (it == cut_.end()) return Cut::kNo;
  const Cut cut = it->second;
  cut_.erase(it);
  return cut;
}

namespace {
// Whether the peer has closed its side (its FIN taken, not yet seen by the engine).
bool PeerGone(int fd) {
  tcp_info info{};
  socklen_t size = sizeof info;
  return getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_state == TCP_CLOSE_WAIT;
}
}  // namespace

void HeadDeadlines::Sweep() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, kSweepEvery);
    const auto now = Clock::now();
    for (auto it = watched_.begin(); it != watched_.end();) {
      if (it->second.deadline <= now) {
        // Only shut down, never closed here: the descriptor stays the engine's until it
        // closes the connection (which it does at once, seeing the peer gone), so it cannot
        // have been reused by then. Forget runs before that close, under this same lock.
        const Cut cut = PeerGone(it->second.fd) ? Cut::kPeerGone : Cut::kDeadline;
        shutdown(it->second.fd, SHUT_RDWR);
        cut_[it->first] = cut;
        it = watched_.erase(it);
      } else {
        ++it;
      }
    }
    if (tick_ && !stopping_) {
      lock.unlock();
      tick_();
      lock.lock();
    }
  }
}

}  // namespace http
