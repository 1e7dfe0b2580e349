#pragma once
// The service's database in SQLite, in WAL mode with synchronous=NORMAL: one writer
// connection that commits the writes of many requests together, and read connections
// for the reads. An answered write has been committed (durable as far as NORMAL goes:
// a power cut may lose the last commits, a crash of the service does not).
#include <memory>
#include <optional>
#include <string>

#include "server/store/group_commit.h"
#include "server/store/read_connections.h"
#include "server/store/records.h"
#include "server/store/sqlite_batch.h"
#include "server/store/sqlite_db.h"
#include "server/store/store.h"

class SqliteStore : public MiningStore {
 public:
  // Opens (or creates and seeds) the database file. False with a message on failure.
  // readers: how many machine-information requests may read at the same time.
  bool Open(const std::string& path, const std::string& seedSerial, std::string& error, int readers = 4);
  bool SeededOnOpen() const override { return seeded_; }

  // Empty when the serial number is unknown or the database failed (then failed is true).
  std::optional<MachineInfo> LoadMachineInfo(const std::string& serial, bool& failed) override;

  // Records the report and applies the rules to a known machine, in one transaction.
  ReportOutcome ApplyReport(const StatusReport& report, int boostEvery) override;

  // Records the notice; knownMachine tells whether the serial number is one of ours.
  bool RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) override;

 private:
  SqliteDb db_;  // the writer's connection; only the writer thread uses it after Open
  ReadConnections readers_;
  std::unique_ptr<SqliteBatch> batch_;
  std::unique_ptr<GroupCommitWriter> writer_;  // declared last: stops before batch_ goes
  bool seeded_ = false;
};
