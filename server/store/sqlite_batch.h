#pragma once
// How the SQLite database writes one batch of the group-commit writer: one IMMEDIATE
// transaction, each write in a savepoint of its own, so a write that fails is undone
// alone and the rest of the batch still commits.
#include <vector>

#include "server/store/group_commit.h"
#include "server/store/sqlite_db.h"

class SqliteBatch : public BatchBackend {
 public:
  // db must stay open while the batch is used; only the writer's thread uses it.
  explicit SqliteBatch(SqliteDb& db) : db_(db) {}
  bool Run(const std::vector<StoreWrite*>& writes, std::vector<char>& ok) override;
  bool Commit() override;

 private:
  SqliteDb& db_;
};
