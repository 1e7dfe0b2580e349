#pragma once
// The one writer of the database. Request threads hand it their writes and wait; it runs
// every write that has queued up meanwhile in one transaction and commits once, so a
// burst of reports costs a few commits instead of one per report. A caller is answered
// only after the transaction holding its write has committed. How a batch is written is
// the database's business (BatchBackend): SQLite and PostgreSQL each have one.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "server/store/records.h"

// One request's write: a status report or a power notice, and what the database made of it.
struct StoreWrite {
  // A report: logged, and the rules applied to its machine when the machine is known.
  const StatusReport* report = nullptr;
  bool cryOk = false;
  int boostEvery = 0;
  // A power notice: logged, marked as coming from a known machine or not.
  const PowerNotice* notice = nullptr;

  // Set by the back end; meaningful only once the write has committed.
  ReportOutcome outcome;
  bool knownMachine = false;

  static StoreWrite Report(const StatusReport& r, bool cryOk, int boostEvery) {
    StoreWrite w;
    w.report = &r;
    w.cryOk = cryOk;
    w.boostEvery = boostEvery;
    return w;
  }
  static StoreWrite Notice(const PowerNotice& n) {
    StoreWrite w;
    w.notice = &n;
    return w;
  }
};

// What one database does with one batch, on the writer's thread only.
class BatchBackend {
 public:
  virtual ~BatchBackend() = default;
  // Opens a transaction and runs the writes in it, in their order. A write that fails is
  // undone alone (ok[i] = 0) and the others stay. False when the transaction itself could
  // not be had: then nothing is kept and no transaction is left open.
  virtual bool Run(const std::vector<StoreWrite*>& writes, std::vector<char>& ok) = 0;
  // Commits what Run kept; false when nothing of it was kept.
  virtual bool Commit() = 0;
};

class GroupCommitWriter {
 public:
  // backend must outlive the writer.
  GroupCommitWriter(BatchBackend& backend, std::size_t maxBatch);
  ~GroupCommitWriter();  // finishes every queued write, then stops
  GroupCommitWriter(const GroupCommitWriter&) = delete;
  GroupCommitWriter& operator=(const GroupCommitWriter&) = delete;

  // Blocks until the write has run and its batch has committed (true) or it failed (false).
  bool Run(StoreWrite& write);

  // Writes waiting for the next batch (not the one being written now).
  std::size_t Queued();

 private:
  struct Pending {
    StoreWrite* write = nullptr;
    bool finished = false;
    bool ok = false;
    // One per waiter: a commit wakes exactly the requests it answers, not every waiter.
    std::condition_variable finishedSignal;
  };
  void Loop();
  void RunBatch(const std::vector<Pending*>& batch);

  BatchBackend& backend_;
  const std::size_t maxBatch_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Pending*> queue_;
  bool stopping_ = false;
  std::thread thread_;
};
