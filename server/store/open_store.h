#pragma once
// Which database the service keeps its data in: a SQLite file, or a PostgreSQL server.
#include <memory>
#include <string>

#include "server/store/store.h"

// A database named by a postgresql:// (or postgres://) URI is PostgreSQL; anything else
// is the path of a SQLite file.
bool IsPostgresUri(const std::string& database);

// Opens (or creates and seeds) that database, with up to `threads` connections for
// reading; null with a message on failure.
std::unique_ptr<MiningStore> OpenStore(const std::string& database, const std::string& seedSerial,
                                       int threads, std::string& error);
