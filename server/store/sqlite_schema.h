#pragma once
// The service's tables in SQLite (schema_tables.h) and the demo record seeded into a new database.
#include <string>

#include "server/store/sqlite_db.h"

// Creates the tables when the file is new and seeds one demo machine with its MARS site,
// its user and the coin prices, exactly once per database file (PRAGMA user_version marks
// it). Returns false with a message when the database cannot be set up.
bool PrepareDatabase(SqliteDb& db, const std::string& seedSerial, bool& seeded, std::string& error);
