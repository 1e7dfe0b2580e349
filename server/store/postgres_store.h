#pragma once
// The service's database in PostgreSQL, for more than one machine's worth of service:
// machine information is read on a pool of connections, and reports and power notices
// are written by one group-commit writer on a connection of its own, a batch of them per
// transaction (PgBatch). Texts a request brings (serial number, MAC text, amounts) are
// kept as bytea, since they may hold any byte, NUL included.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/store/group_commit.h"
#include "server/store/pg_batch.h"
#include "server/store/pg_db.h"
#include "server/store/store.h"

class PostgresStore : public MiningStore {
 public:
  bool Open(const std::string& uri, const std::string& seedSerial, int connections, std::string& error);
  bool SeededOnOpen() const override { return seeded_; }
  std::optional<MachineInfo> LoadMachineInfo(const std::string& serial, bool& failed) override;
  ReportOutcome ApplyReport(const StatusReport& report, int boostEvery) override;
  bool RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) override;

 private:
  class Lease;
  PgConnection& Borrow();
  void Return(PgConnection& c);

  std::vector<std::unique_ptr<PgConnection>> all_;  // the readers
  std::vector<PgConnection*> free_;
  std::mutex mutex_;
  std::condition_variable returned_;
  PgConnection writerDb_;  // only the writer's thread uses it after Open
  std::unique_ptr<PgBatch> batch_;
  std::unique_ptr<GroupCommitWriter> writer_;  // declared last: stops before batch_ goes
  bool seeded_ = false;
};
