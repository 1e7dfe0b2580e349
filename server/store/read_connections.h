#pragma once
// Read-only connections for the requests that only read, so a machine-information
// request never waits behind the writer's batch (WAL lets readers and the writer run
// side by side). A caller borrows one connection for the length of its query.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/store/sqlite_db.h"

class ReadConnections {
 public:
  bool Open(const std::string& path, int count, std::string& error);

  class Lease {
   public:
    Lease(ReadConnections& pool, SqliteDb& db) : pool_(pool), db_(db) {}
    ~Lease() { pool_.Return(db_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    SqliteDb& Db() { return db_; }

   private:
    ReadConnections& pool_;
    SqliteDb& db_;
  };
  // Waits while every connection is lent out.
  Lease Borrow();

 private:
  void Return(SqliteDb& db);

  std::vector<std::unique_ptr<SqliteDb>> all_;
  std::vector<SqliteDb*> free_;
  std::mutex mutex_;
  std::condition_variable returned_;
};
