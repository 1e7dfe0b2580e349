#include "http/handler_pool.h"

namespace http {

HandlerPool::HandlerPool(unsigned threads) {
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

HandlerPool::~HandlerPool() { Drain(); }

void HandlerPool::Drain() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& t : threads_) {
    if (t.joinable()) t.join();
  }
}

void HandlerPool::Enqueue(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_) {
      jobs_.push_back(std::move(job));
      ready_.notify_one();
      return;
    }
  }
  job();  // the pool has stopped: the job must still run, or its connection stays suspended
}

void HandlerPool::Work() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and nothing left to run
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace http
