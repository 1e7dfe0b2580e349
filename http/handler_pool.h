#pragma once
// The threads that run handlers which may wait (a database commit), so that the engine's
// event threads never do: a request whose head is complete is handed to one of them and
// its connection suspended until the answer is ready.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace http {

class HandlerPool {
 public:
  explicit HandlerPool(unsigned threads);
  ~HandlerPool();  // Drain()

  // Runs what is queued and joins the threads. A job enqueued afterwards (a connection the
  // engine's event threads finish while it stops) runs at once on the caller's thread, so
  // every suspended connection is still resumed. Called by the thread that owns the pool.
  void Drain();
  HandlerPool(const HandlerPool&) = delete;
  HandlerPool& operator=(const HandlerPool&) = delete;

  void Enqueue(std::function<void()> job);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace http
