#pragma once
// What the request handlers need of the service's database: machines, MARS sites, users,
// coin prices, and the log of every report and power notice. A write is answered only
// once it has been committed.
#include <memory>
#include <optional>
#include <string>

#include "server/store/records.h"

class MiningStore {
 public:
  virtual ~MiningStore() = default;

  // True when this start made the database and seeded the demo machine.
  virtual bool SeededOnOpen() const = 0;

  // Empty when the serial number is unknown or the database failed (then failed is true).
  virtual std::optional<MachineInfo> LoadMachineInfo(const std::string& serial, bool& failed) = 0;

  // Records the report and applies the rules to a known machine, in one transaction.
  virtual ReportOutcome ApplyReport(const StatusReport& report, int boostEvery) = 0;

  // Records the notice; knownMachine tells whether the serial number is one of ours.
  virtual bool RecordPowerNotice(const PowerNotice& notice, bool& knownMachine) = 0;
};
