#pragma once
// The service's tables in PostgreSQL (schema_tables.h) and the demo record seeded into a new database.
#include <string>

#include "server/store/pg_db.h"

// Creates the tables when the database is new and seeds one demo machine with its MARS
// site, its user and the coin prices, exactly once per database, even with two services
// starting together. Returns false with a message when the database cannot be set up.
bool PreparePgDatabase(PgConnection& db, const std::string& seedSerial, bool& seeded, std::string& error);
