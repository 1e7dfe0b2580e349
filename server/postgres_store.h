#pragma once
// The service's database in PostgreSQL, for more than one machine's worth of service:
// a pool of connections, each request one transaction on one of them (the server itself
// groups concurrent commits). Texts a request brings (serial number, MAC text, amounts)
// are kept as bytea, since they may hold any byte, NUL included.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/pg_db.h"
#include "server/store.h"

class PostgresStore : public MiningStore {
 public:
  bool Open(const std::string& uri, const std::string& seedSerial, int connections,
            std::string& error);
  bool SeededOnOpen() const override { return seeded_; }
  std::optional<MachineInfo> LoadMachineInfo(const std::string& serial, bool& failed) override;
  ReportOutcome ApplyReport(const StatusReport& report, int boostEvery) override;
  bool RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) override;

 private:
  class Lease;
  PgConnection& Borrow();
  void Return(PgConnection& c);

  std::vector<std::unique_ptr<PgConnection>> all_;
  std::vector<PgConnection*> free_;
  std::mutex mutex_;
  std::condition_variable returned_;
  bool seeded_ = false;
};
