#include "server/store.h"

#include <algorithm>

#include "server/options.h"
#include "server/postgres_store.h"
#include "server/sqlite_store.h"

bool IsPostgresUri(const std::string& db) {
  return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

std::unique_ptr<MiningStore> OpenStore(const ServiceOptions& options, std::string& error) {
  // Readers of SQLite share one file; PostgreSQL gets a reading connection per worker, up
  // to a number its default connection limit (100) leaves room beside, and one to write.
  if (IsPostgresUri(options.databasePath)) {
    auto store = std::make_unique<PostgresStore>();
    if (!store->Open(options.databasePath, options.seedSerial, std::min(options.threads, 32),
                     error)) {
      return nullptr;
    }
    return store;
  }
  auto store = std::make_unique<SqliteStore>();
  if (!store->Open(options.databasePath, options.seedSerial, error, std::min(options.threads, 8))) {
    return nullptr;
  }
  return store;
}
