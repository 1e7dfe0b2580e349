#include "server/store/open_store.h"

#include <algorithm>

#include "server/store/postgres_store.h"
#include "server/store/sqlite_store.h"

bool IsPostgresUri(const std::string& db) {
  return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

std::unique_ptr<MiningStore> OpenStore(const std::string& database, const std::string& seedSerial,
                                       int threads, std::string& error) {
  // Readers of SQLite share one file; PostgreSQL gets a reading connection per worker, up
  // to a number its default connection limit (100) leaves room beside, and one to write.
  if (IsPostgresUri(database)) {
    auto store = std::make_unique<PostgresStore>();
    if (!store->Open(database, seedSerial, std::min(threads, 32), error)) {
      return nullptr;
    }
    return store;
  }
  auto store = std::make_unique<SqliteStore>();
  if (!store->Open(database, seedSerial, error, std::min(threads, 8))) {
    return nullptr;
  }
  return store;
}
