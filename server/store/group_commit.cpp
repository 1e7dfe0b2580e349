#include "server/store/group_commit.h"

GroupCommitWriter::GroupCommitWriter(BatchBackend& backend, std::size_t maxBatch)
    : backend_(backend), maxBatch_(maxBatch == 0 ? 1 : maxBatch), thread_([this] { Loop(); }) {}

GroupCommitWriter::~GroupCommitWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_one();
  thread_.join();
}

bool GroupCommitWriter::Run(StoreWrite& write) {
  Pending pending;
  pending.write = &write;
  std::unique_lock<std::mutex> lock(mutex_);
  queue_.push_back(&pending);
  queued_.notify_one();
  pending.finishedSignal.wait(lock, [&] { return pending.finished; });
  return pending.ok;
}

std::size_t GroupCommitWriter::Queued() {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

void GroupCommitWriter::Loop() {
  std::vector<Pending*> batch;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and nothing left to write
      while (!queue_.empty() && batch.size() < maxBatch_) {
        batch.push_back(queue_.front());
        queue_.pop_front();
      }
    }
    RunBatch(batch);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // Signalled under the lock: once finished is seen, the waiter's Pending may go.
      for (Pending* p : batch) {
        p->finished = true;
        p->finishedSignal.notify_one();
      }
    }
    batch.clear();
  }
}

void GroupCommitWriter::RunBatch(const std::vector<Pending*>& batch) {
  std::vector<StoreWrite*> writes;
  writes.reserve(batch.size());
  for (Pending* p : batch) writes.push_back(p->write);
  std::vector<char> ok(batch.size(), 0);
  // Nobody is told "stored" before the commit has returned.
  const bool committed = backend_.Run(writes, ok) && backend_.Commit();
  for (std::size_t i = 0; i < batch.size(); ++i) batch[i]->ok = committed && ok[i] != 0;
}
