#pragma once
// Puts the fleet's machines into the service's database (the service stopped) and counts
// afterwards what the service recorded for them.
#include <cstdint>
#include <string>

// Copies the demo machine (its site, its user, its figures) under each fleet serial. db is
// a SQLite file or a postgresql:// URI.
bool SeedFleet(const std::string& db, int machines, std::string& error);

struct FleetRows {
  std::int64_t reports = 0;
  std::int64_t powerOn = 0;
  std::int64_t powerOff = 0;
};
bool CountFleetRows(const std::string& db, FleetRows& rows, std::string& error);

// A database named as the service's --db takes it.
inline bool IsPostgresDb(const std::string& db) {
  return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

// The same on PostgreSQL (fleet_seed_postgres.cpp).
bool SeedFleetPostgres(const std::string& uri, int machines, std::string& error);
bool CountFleetRowsPostgres(const std::string& uri, FleetRows& rows, std::string& error);
