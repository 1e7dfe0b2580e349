#pragma once
// The service's database: machines, MARS sites, users, coin prices, and the log of every
// report and power notice. One connection shared by the request threads under a mutex.
#include <mutex>
#include <optional>
#include <string>

#include "server/records.h"
#include "server/sqlite_db.h"

class MiningStore {
 public:
  // Opens (or creates and seeds) the database file. False with a message on failure.
  bool Open(const std::string& path, const std::string& seedSerial, std::string& error);
  bool SeededOnOpen() const { return seeded_; }

  // Empty when the serial number is unknown or the database failed (then failed is true).
  std::optional<MachineInfo> LoadMachineInfo(const std::string& serial, bool& failed);

  // Records the report and applies the rules to a known machine, in one transaction.
  ReportOutcome ApplyReport(const StatusReport& report, int boostEvery);

  // Records the notice; knownMachine tells whether the serial number is one of ours.
  bool RecordPowerNotice(const PowerNotice& notice, bool& knownMachine);

 private:
  std::mutex mutex_;
  SqliteDb db_;
  bool seeded_ = false;
};
