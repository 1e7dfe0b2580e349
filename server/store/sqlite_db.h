#pragma once
// A thin RAII layer over SQLite: one connection, prepared statements with bound
// parameters. Request texts only ever reach the database as bound values.
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

class SqliteDb;

class Statement {
 public:
  // sql must be a string literal: its address names the kept prepared statement.
  Statement(SqliteDb& db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return stmt_ != nullptr; }

  // Parameters are numbered from 1, as in SQLite.
  Statement& BindInt(int index, std::int64_t value);
  Statement& BindReal(int index, double value);
  Statement& BindText(int index, std::string_view value);  // bytes kept as they are
  Statement& BindBlob(int index, std::string_view value);

  // True while a row is available; false at the end or on an error (see Failed()).
  bool Step();
  bool Failed() const { return failed_; }
  // Runs the statement to its end; true when it succeeded.
  bool Run();

  std::int64_t ColumnInt(int column) const;
  double ColumnReal(int column) const;
  std::string ColumnText(int column) const;

 private:
  SqliteDb& db_;
  const char* sql_;
  sqlite3_stmt* stmt_ = nullptr;
  bool failed_ = false;
};

class SqliteDb {
 public:
  SqliteDb() = default;
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // A read-only connection never takes the write lock; with WAL it reads beside the writer.
  bool Open(const std::string& path, bool readOnly = false);
  // Runs fixed SQL of the program itself (schema, pragmas, transactions), never request text.
  bool Exec(const char* sql);

  sqlite3* Handle() const { return db_; }
  const std::string& LastError() const { return lastError_; }
  void NoteError();

  // Prepared statements are kept per SQL text (the program's own literals) and reused:
  // a report's three statements would otherwise be compiled anew for every report.
  sqlite3_stmt* TakePrepared(const char* sql);  // null when none is kept
  void KeepPrepared(const char* sql, sqlite3_stmt* stmt);

 private:
  sqlite3* db_ = nullptr;
  std::string lastError_;
  std::unordered_map<const char*, sqlite3_stmt*> prepared_;
};

// Commits when Commit() is called, rolls back otherwise.
class Transaction {
 public:
  // kWrite takes the write lock at once (BEGIN IMMEDIATE); kRead is a plain BEGIN, whose
  // reads see one snapshot.
  enum class Kind { kWrite, kRead };
  explicit Transaction(SqliteDb& db, Kind kind = Kind::kWrite);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool Began() const { return began_; }
  bool Commit();

 private:
  SqliteDb& db_;
  bool began_ = false;
  bool done_ = false;
};
