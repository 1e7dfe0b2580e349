#pragma once
// The threads that handle connections. They run a notch below the thread that accepts
// connections and the database writer: in a burst, dozens of workers are runnable at once
// and would otherwise starve the accept loop until the kernel's queue of new connections
// overflows (a dropped connection costs the client a one-second retransmit).
#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool : public httplib::TaskQueue {
 public:
  explicit WorkerPool(int threads);
  ~WorkerPool() override;

  void enqueue(std::function<void()> fn) override;
  void shutdown() override;  // runs what is queued, then joins the threads

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
