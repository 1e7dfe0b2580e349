#pragma once
// How the PostgreSQL database writes one batch of the group-commit writer, in three round
// trips whatever its size (libpq's pipeline mode sends statements together): the batch's
// machines are read and locked by one statement, the rules are applied here in arrival
// order, the machines' new state, the reports and the power notices go back as one
// multi-row statement each, with the rows as array parameters, and then the commit.
// Should any of it fail, the batch is written again one write at a time, each in a
// savepoint of its own, so only the write at fault is lost.
#include <vector>

#include "server/store/group_commit.h"
#include "server/store/pg_db.h"

class PgBatch : public BatchBackend {
 public:
  // db must stay open while the batch is used; only the writer's thread uses it.
  explicit PgBatch(PgConnection& db) : db_(db) {}
  bool Run(const std::vector<StoreWrite*>& writes, std::vector<char>& ok) override;
  bool Commit() override;

 private:
  // Every write of the list, in two round trips: opening (BEGIN or SAVEPOINT) goes with the
  // read of the machines, closing (null for none) after the writes. False when a statement
  // failed, which leaves the transaction (or the savepoint) to be rolled back.
  bool WriteAll(const std::vector<StoreWrite*>& writes, const char* opening, const char* closing);

  PgConnection& db_;
};
