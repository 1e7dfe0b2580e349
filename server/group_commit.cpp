#include "server/group_commit.h"

GroupCommitWriter::GroupCommitWriter(SqliteDb& db, std::size_t maxBatch)
    : db_(db), maxBatch_(maxBatch == 0 ? 1 : maxBatch), thread_([this] { Loop(); }) {}

GroupCommitWriter::~GroupCommitWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_one();
  thread_.join();
}

bool GroupCommitWriter::Run(Write write) {
  Pending pending;
  pending.write = std::move(write);
  std::unique_lock<std::mutex> lock(mutex_);
  queue_.push_back(&pending);
  queued_.notify_one();
  pending.finishedSignal.wait(lock, [&] { return pending.finished; });
  return pending.ok;
}

void GroupCommitWriter::Loop() {
  std::deque<Pending*> batch;
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

void GroupCommitWriter::RunBatch(std::deque<Pending*>& batch) {
  Transaction tx(db_);
  if (!tx.Began()) {
    for (Pending* p : batch) p->ok = false;
    return;
  }
  for (Pending* p : batch) {
    if (!db_.Exec("SAVEPOINT one_write")) {
      p->ok = false;
      continue;
    }
    p->ok = p->write(db_);
    if (!p->ok) db_.Exec("ROLLBACK TO one_write");
    db_.Exec("RELEASE one_write");
  }
  if (!tx.Commit()) {
    for (Pending* p : batch) p->ok = false;
  }
}
