// The group-commit writer on each database: a write is answered only after the commit
// that holds it, and a write that fails in a batch is undone alone while the rest of the
// batch commits.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exchange/amount_scramble.h"
#include "private_postgres.h"
#include "server/store/group_commit.h"
#include "server/store/pg_batch.h"
#include "server/store/pg_db.h"
#include "server/store/pg_schema.h"
#include "server/store/sqlite_batch.h"
#include "server/store/sqlite_db.h"
#include "server/store/sqlite_schema.h"
#include "support/sandbox.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kSerial = "GC-0001";
// A report with this MAC text is refused by a trigger the tests install.
constexpr const char* kRefusedMac = "REFUSED";

// The writer's database, plus a second connection of its own to look at what is committed.
class Database {
 public:
  virtual ~Database() = default;
  virtual BatchBackend& Batch() = 0;
  // The first column of the first row, seen from the second connection; -1 on failure.
  virtual long long Count(const std::string& sql) = 0;
  // Installs a trigger that makes every insert of a report with kRefusedMac fail.
  virtual bool RefuseMac() = 0;
};

class SqliteDatabase : public Database {
 public:
  bool Open(std::string& error) {
    const std::string path = box_.File("store.db");
    bool seeded = false;
    if (!db_.Open(path) || !db_.Exec("PRAGMA journal_mode=WAL") ||
        !PrepareDatabase(db_, kSerial, seeded, error) || !observer_.Open(path, true)) {
      error += db_.LastError();
      return false;
    }
    batch_ = std::make_unique<SqliteBatch>(db_);
    return true;
  }
  BatchBackend& Batch() override { return *batch_; }
  long long Count(const std::string& sql) override {
    sqlite3_stmt* s = nullptr;
    long long v = -1;
    if (sqlite3_prepare_v2(observer_.Handle(), sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
      v = sqlite3_column_int64(s, 0);
    }
    sqlite3_finalize(s);
    return v;
  }
  bool RefuseMac() override {
    return db_.Exec(
        "CREATE TRIGGER refuse BEFORE INSERT ON reports WHEN NEW.mac = 'REFUSED'"
        " BEGIN SELECT RAISE(ABORT, 'refused'); END");
  }

 private:
  Sandbox box_;
  SqliteDb db_;
  SqliteDb observer_;
  std::unique_ptr<SqliteBatch> batch_;
};

class PostgresDatabase : public Database {
 public:
  ~PostgresDatabase() override {
    if (observer_) PQfinish(observer_);
  }
  bool Open(const std::string& uri, std::string& error) {
    bool seeded = false;
    if (!db_.Open(uri, error) || !PreparePgDatabase(db_, kSerial, seeded, error)) return false;
    observer_ = PQconnectdb(uri.c_str());
    if (PQstatus(observer_) != CONNECTION_OK) {
      error = PQerrorMessage(observer_);
      return false;
    }
    batch_ = std::make_unique<PgBatch>(db_);
    return true;
  }
  BatchBackend& Batch() override { return *batch_; }
  long long Count(const std::string& sql) override {
    PGresult* r = PQexec(observer_, sql.c_str());
    long long v = -1;
    if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) v = std::atoll(PQgetvalue(r, 0, 0));
    PQclear(r);
    return v;
  }
  bool RefuseMac() override {
    return db_.Exec(
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
        " IF NEW.mac = 'REFUSED'::bytea THEN RAISE EXCEPTION 'refused'; END IF;"
        " RETURN NEW; END $$;"
        " CREATE TRIGGER refuse BEFORE INSERT ON reports FOR EACH ROW EXECUTE FUNCTION refuse()");
  }

 private:
  PgConnection db_;
  PGconn* observer_ = nullptr;
  std::unique_ptr<PgBatch> batch_;
};

// Forwards to the database's batch; while held, a batch stops between its writes and its
// commit, so a test can look at the world in that moment.
class HoldingBatch : public BatchBackend {
 public:
  explicit HoldingBatch(BatchBackend& inner) : inner_(inner) {}
  bool Run(const std::vector<StoreWrite*>& writes, std::vector<char>& ok) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sizes_.push_back(writes.size());
    }
    return inner_.Run(writes, ok);
  }
  bool Commit() override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++atCommit_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !holding_; });
    lock.unlock();
    return inner_.Commit();
  }
  void Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = true;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = false;
    changed_.notify_all();
  }
  // Waits until n batches have reached their commit; false after a few seconds.
  bool WaitAtCommit(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return atCommit_ >= n; });
  }
  std::vector<std::size_t> Sizes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sizes_;
  }

 private:
  BatchBackend& inner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = false;
  int atCommit_ = 0;
  std::vector<std::size_t> sizes_;
};

bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

StatusReport MakeReport(const std::string& serial, const std::string& mac) {
  StatusReport r;
  r.serial = serial;
  r.mac = mac;
  r.exp = 1300;
  r.mps = 0.012;
  r.locate = 37.5;
  r.amountText = "26.500000";
  r.amount = 26.5;
  r.cry = ScrambleAmount(r.amountText, 10, 12);
  return r;
}

class GroupCommit : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string error;
    if (std::string(GetParam()) == "sqlite") {
      auto db = std::make_unique<SqliteDatabase>();
      ASSERT_TRUE(db->Open(error)) << error;
      db_ = std::move(db);
    } else {
      const std::string uri = NewPostgresDatabase();
      if (uri.empty()) return;  // skipped, or failed with the reason recorded
      auto db = std::make_unique<PostgresDatabase>();
      ASSERT_TRUE(db->Open(uri, error)) << error;
      db_ = std::move(db);
    }
    held_ = std::make_unique<HoldingBatch>(db_->Batch());
    writer_ = std::make_unique<GroupCommitWriter>(*held_, 512);
    fuelBefore_ = Fuel();
    ASSERT_GT(fuelBefore_, 10);
  }
  void TearDown() override {
    if (held_) held_->Release();
    writer_.reset();
  }
  long long Fuel() {
    return db_->Count(std::string("SELECT fuel FROM machines WHERE serial = ") +
                      (std::string(GetParam()) == "sqlite" ? "'GC-0001'" : "'GC-0001'::bytea"));
  }
  // Starts writer_->Run(write) on a thread of its own and waits until it has queued.
  std::future<bool> Submit(StoreWrite& write) {
    const std::size_t before = writer_->Queued();
    auto answered = std::async(std::launch::async, [&] { return writer_->Run(write); });
    EXPECT_TRUE(WaitFor([&] { return writer_->Queued() > before; }));
    return answered;
  }

  std::unique_ptr<Database> db_;
  std::unique_ptr<HoldingBatch> held_;
  std::unique_ptr<GroupCommitWriter> writer_;
  long long fuelBefore_ = 0;
};

TEST_P(GroupCommit, AnswersAWriteOnlyAfterItsCommit) {
  if (!db_) return;
  const StatusReport report = MakeReport(kSerial, "00-1A");
  StoreWrite write = StoreWrite::Report(report, true, 0);
  held_->Hold();
  auto answered = std::async(std::launch::async, [&] { return writer_->Run(write); });
  ASSERT_TRUE(held_->WaitAtCommit(1));
  // Written, not yet committed: the caller still waits and nobody else sees the row.
  EXPECT_EQ(answered.wait_for(100ms), std::future_status::timeout);
  EXPECT_EQ(db_->Count("SELECT COUNT(*) FROM reports"), 0);
  EXPECT_EQ(Fuel(), fuelBefore_);
  held_->Release();
  ASSERT_TRUE(answered.get());
  // The moment the answer is there, so is the row.
  EXPECT_EQ(db_->Count("SELECT COUNT(*) FROM reports"), 1);
  EXPECT_EQ(Fuel(), fuelBefore_ - 1);
  EXPECT_TRUE(write.outcome.stored);
  EXPECT_TRUE(write.outcome.knownMachine);
  EXPECT_EQ(write.outcome.fuel, fuelBefore_ - 1);
}

// One write of a batch: a report of serial with mac, or a power notice of serial.
struct Step {
  bool report;
  const char* serial;
  const char* mac;
  bool stored;     // Run answers true
  int fuelBurned;  // a stored report of the known machine: its fuel below the start
  bool known;
};

struct BatchCase {
  const char* name;
  std::vector<Step> steps;
};

TEST_P(GroupCommit, WritesOneBatchInOrderAndUndoesAFailedWriteAlone) {
  if (!db_) return;
  ASSERT_TRUE(db_->RefuseMac());
  const std::vector<BatchCase> cases = {
      {"all good: two reports of one machine each burn a unit",
       {{true, kSerial, "A", true, 1, true},
        {false, "NOBODY", "n", true, 0, false},
        {true, kSerial, "B", true, 2, true},
        {false, kSerial, "n", true, 0, true},
        {true, "NOBODY", "C", true, 0, false}}},
      {"one refused between two good ones: its unit is not burnt",
       {{true, kSerial, "A", true, 1, true},
        {true, kSerial, kRefusedMac, false, 0, true},
        {true, kSerial, "B", true, 2, true},
        {false, kSerial, "n", true, 0, true}}},
      {"refused first and last",
       {{true, kSerial, kRefusedMac, false, 0, true},
        {false, "NOBODY", "n", true, 0, false},
        {true, "NOBODY", kRefusedMac, false, 0, false}}},
      {"only a refused one", {{true, kSerial, kRefusedMac, false, 0, true}}},
  };
  int batches = 0;
  for (const BatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    const long long fuelStart = Fuel();
    const long long reportsStart = db_->Count("SELECT COUNT(*) FROM reports");
    const long long noticesStart = db_->Count("SELECT COUNT(*) FROM power_notices");
    // A first write held at its commit, so every step queues up behind it into one batch.
    const PowerNotice opener{kSerial, "opener", 1};
    StoreWrite openerWrite = StoreWrite::Notice(opener);
    held_->Hold();
    auto openerAnswer = std::async(std::launch::async, [&] { return writer_->Run(openerWrite); });
    ASSERT_TRUE(held_->WaitAtCommit(++batches));

    std::vector<StatusReport> reports;
    std::vector<PowerNotice> notices;
    reports.reserve(c.steps.size());
    notices.reserve(c.steps.size());
    std::vector<StoreWrite> writes;
    writes.reserve(c.steps.size());
    for (const Step& s : c.steps) {
      if (s.report) {
        reports.push_back(MakeReport(s.serial, s.mac));
        writes.push_back(StoreWrite::Report(reports.back(), true, 0));
      } else {
        notices.push_back(PowerNotice{s.serial, s.mac, 0});
        writes.push_back(StoreWrite::Notice(notices.back()));
      }
    }
    std::vector<std::future<bool>> answers;
    answers.reserve(writes.size());
    for (StoreWrite& w : writes) answers.push_back(Submit(w));
    ++batches;
    held_->Release();
    ASSERT_TRUE(openerAnswer.get());

    int storedReports = 0;
    int storedNotices = 0;
    int burned = 0;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& s = c.steps[i];
      SCOPED_TRACE("step " + std::to_string(i));
      ASSERT_EQ(answers[i].get(), s.stored);
      if (!s.stored) continue;
      if (s.report) {
        ++storedReports;
        EXPECT_EQ(writes[i].outcome.knownMachine, s.known);
        if (s.known) {
          EXPECT_EQ(writes[i].outcome.fuel, fuelStart - s.fuelBurned);
          burned = s.fuelBurned;
        } else {
          EXPECT_EQ(writes[i].outcome.fuel, 0);
          EXPECT_EQ(writes[i].outcome.code, 0);
        }
      } else {
        ++storedNotices;
        EXPECT_EQ(writes[i].knownMachine, s.known);
      }
    }
    // The steps went as one batch of their own after the opener's.
    const std::vector<std::size_t> sizes = held_->Sizes();
    ASSERT_GE(sizes.size(), 2u);
    EXPECT_EQ(sizes[sizes.size() - 2], 1u);
    EXPECT_EQ(sizes.back(), c.steps.size());
    // Committed: exactly the stored writes, nothing of the refused ones.
    EXPECT_EQ(db_->Count("SELECT COUNT(*) FROM reports"), reportsStart + storedReports);
    EXPECT_EQ(db_->Count("SELECT COUNT(*) FROM power_notices"), noticesStart + 1 + storedNotices);
    EXPECT_EQ(Fuel(), fuelStart - burned);
  }
}

INSTANTIATE_TEST_SUITE_P(Databases, GroupCommit, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
