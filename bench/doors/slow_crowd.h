#pragma once
// A crowd of connections to one port that never finish a request: some stay silent, some
// trickle a byte of a head now and then. Whatever the server drops is opened again, so
// the crowd stays at its size for as long as it runs (on its own thread).
#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

class SlowCrowd {
 public:
  // `trickle` is the head the trickling half sends a byte at a time, every `everyMs`.
  SlowCrowd(int port, int size, std::string trickle, int everyMs);
  ~SlowCrowd();
  SlowCrowd(const SlowCrowd&) = delete;
  SlowCrowd& operator=(const SlowCrowd&) = delete;

  int Open() const { return open_; }
  long Reopened() const { return reopened_; }

 private:
  void Run();

  const int port_;
  const std::string trickle_;
  const int everyMs_;
  struct Member {
    int fd = -1;
    std::size_t sent = 0;
    bool trickles = false;
  };
  std::vector<Member> members_;
  std::atomic<bool> running_{true};
  std::atomic<int> open_{0};
  std::atomic<long> reopened_{0};
  std::thread thread_;
};
