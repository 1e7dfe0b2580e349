#pragma once
// Puts the fleet's machines into the service's database (the service stopped) and counts
// afterwards what the service recorded for them.
#include <cstdint>
#include <string>

// Copies the demo machine (its site, its user, its figures) under each fleet serial.
bool SeedFleet(const std::string& dbPath, int machines, std::string& error);

struct FleetRows {
  std::int64_t reports = 0;
  std::int64_t powerOn = 0;
  std::int64_t powerOff = 0;
};
bool CountFleetRows(const std::string& dbPath, FleetRows& rows, std::string& error);
