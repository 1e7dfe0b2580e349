#pragma once
// The one writer of the database. Request threads hand it their writes and wait; it runs
// every write that has queued up meanwhile in one transaction and commits once, so a
// burst of reports costs a few commits instead of one per report. A caller is answered
// only after the transaction holding its write has committed.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "server/sqlite_db.h"

class GroupCommitWriter {
 public:
  // A write runs inside the batch's transaction, in a savepoint of its own: a write that
  // returns false is undone alone and the rest of the batch still commits.
  using Write = std::function<bool(SqliteDb&)>;

  // db must be open and stay open until the writer is destroyed.
  GroupCommitWriter(SqliteDb& db, std::size_t maxBatch);
  ~GroupCommitWriter();  // finishes every queued write, then stops
  GroupCommitWriter(const GroupCommitWriter&) = delete;
  GroupCommitWriter& operator=(const GroupCommitWriter&) = delete;

  // Blocks until the write has run and its batch has committed (true) or failed (false).
  bool Run(Write write);

 private:
  struct Pending {
    Write write;
    bool finished = false;
    bool ok = false;
    // One per waiter: a commit wakes exactly the requests it answers, not every waiter.
    std::condition_variable finishedSignal;
  };
  void Loop();
  void RunBatch(std::deque<Pending*>& batch);

  SqliteDb& db_;
  const std::size_t maxBatch_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Pending*> queue_;
  bool stopping_ = false;
  std::thread thread_;
};
