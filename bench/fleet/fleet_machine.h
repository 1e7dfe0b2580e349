#pragma once
// One simulated machine: its identity, the figures it reports, its generator, and the
// three requests of a client's run built by the client's own URL builders and scramble.
#include <cstdint>
#include <string>

#include "mining/random_source.h"

struct FleetMachine {
  std::string serial;
  std::string mac;
  CrtRandom random;  // the client's generator, seeded per machine
  int exp = 0;
  double kest = 0;
  double location = 0;
  double miningPerSec = 0.012;
  bool busy = false;   // a report of it is in flight: its worker is inside the exchange
  bool mining = true;  // a Code of 0 switches it off, as it does the client
  int port = 0;        // of the service it talks to; machines are spread over the services

  static FleetMachine Make(int index, std::uint32_t seed);

  // Paths and queries (no root), exactly as the client sends them.
  std::string MachineInfoTarget() const;
  std::string PowerTarget(int state) const;
  // hour and minute are the local time the report is stamped with (they pick the scramble).
  std::string ReportTarget(int hour, int minute) const;

  // Takes the figures of the machine-information answer the client would show.
  void ApplyMachineInfo(const std::string& body);
  // Applies a status reply as the client does: amount, and Code 0 stops mining.
  void ApplyStatusReply(const std::string& body);
};

// Serial numbers of the fleet: a prefix no demo or test machine uses, and the index.
std::string FleetSerial(int index);
inline constexpr const char* kFleetSerialPattern = "FLEET-%";

// The value of `key` in `section` of an INI answer ("" when absent); names match exactly.
std::string IniValue(const std::string& body, const std::string& section, const std::string& key);
