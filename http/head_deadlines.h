#pragma once
// The deadline of every connection whose request head has not fully arrived, counted from
// accept. A connection still short of its blank line at its deadline is shut down,
// however steadily it trickles bytes in: an idle time-out alone would let one byte a
// second hold a connection for ever.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace http {

class HeadDeadlines {
 public:
  using Clock = std::chrono::steady_clock;

  // `tick` (may be empty) runs on the sweeper thread after every look at the deadlines,
  // a few times a second, outside the lock.
  explicit HeadDeadlines(std::chrono::milliseconds headTimeout, std::function<void()> tick = {});
  ~HeadDeadlines();
  HeadDeadlines(const HeadDeadlines&) = delete;
  HeadDeadlines& operator=(const HeadDeadlines&) = delete;

  // A connection was accepted on socket `fd`; `key` names it until Forget.
  void Watch(const void* key, int fd);
  enum class Cut {
    kNo,        // not shut down here
    kDeadline,  // shut down for missing its deadline
    kPeerGone,  // shut down at its deadline, the peer having closed its side already
  };
  // Its head arrived, or it is being closed (its socket is still open): no deadline any
  // more. Tells whether the connection had been shut down here.
  Cut Forget(const void* key);

 private:
  void Sweep();

  const std::chrono::milliseconds headTimeout_;
  const std::function<void()> tick_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  struct Entry {
    int fd;
    Clock::time_point deadline;
  };
  std::unordered_map<const void*, Entry> watched_;
  // Shut down at their deadline and not yet closed by the engine; bounded by the open
  // connections, since every one is forgotten at its close.
  std::unordered_map<const void*, Cut> cut_;
  std::thread sweeper_;
};

}  // namespace http
