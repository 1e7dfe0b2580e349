#include "server/store/sqlite_db.h"

Statement::Statement(SqliteDb& db, const char* sql) : db_(db), sql_(sql) {
  stmt_ = db.TakePrepared(sql);
  if (stmt_) return;
  if (sqlite3_prepare_v3(db.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK) {
    db_.NoteError();
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    failed_ = true;
  }
}

Statement::~Statement() {
  if (!stmt_) return;
  // Reset ends the statement's read of the database and drops the bound values.
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  db_.KeepPrepared(sql_, stmt_);
}

Statement& Statement::BindInt(int index, std::int64_t value) {
  if (stmt_ && sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) failed_ = true;
  return *this;
}

Statement& Statement::BindReal(int index, double value) {
  if (stmt_ && sqlite3_bind_double(stmt_, index, value) != SQLITE_OK) failed_ = true;
  return *this;
}

Statement& Statement::BindText(int index, std::string_view value) {
  if (stmt_ && sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
                   SQLITE_OK) {
    failed_ = true;
  }
  return *this;
}

Statement& Statement::BindBlob(int index, std::string_view value) {
  if (stmt_ && sqlite3_bind_blob64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT) != SQLITE_OK) {
    failed_ = true;
  }
  return *this;
}

bool Statement::Step() {
  if (!stmt_ || failed_) return false;
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) {
    failed_ = true;
    db_.NoteError();
  }
  return false;
}

bool Statement::Run() {
  while (Step()) {
  }
  return !failed_;
}

std::int64_t Statement::ColumnInt(int column) const { return sqlite3_column_int64(stmt_, column); }

double Statement::ColumnReal(int column) const { return sqlite3_column_double(stmt_, column); }

std::string Statement::ColumnText(int column) const {
  const auto* text = sqlite3_column_text(stmt_, column);
  const int size = sqlite3_column_bytes(stmt_, column);
  if (!text || size <= 0) return std::string();
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

SqliteDb::~SqliteDb() {
  for (auto& [sql, stmt] : prepared_) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
}

sqlite3_stmt* SqliteDb::TakePrepared(const char* sql) {
  const auto it = prepared_.find(sql);
  if (it == prepared_.end()) return nullptr;
  sqlite3_stmt* stmt = it->second;
  prepared_.erase(it);
  return stmt;
}

void SqliteDb::KeepPrepared(const char* sql, sqlite3_stmt* stmt) {
  // A second statement of the same text (one nested in another's use) is not kept.
  if (!prepared_.emplace(sql, stmt).second) sqlite3_finalize(stmt);
}

bool SqliteDb::Open(const std::string& path, bool readOnly) {
  const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  // Each connection is used by one thread at a time; SQLite's own mutexes would only cost.
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    NoteError();
    if (!db_) lastError_ = sqlite3_errstr(rc);
    return false;
  }
  // Someone may read the file (a test, the sqlite3 shell) while the service writes it.
  sqlite3_busy_timeout(db_, 5000);
  return true;
}

bool SqliteDb::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    lastError_ = message ? message : "unknown SQLite error";
    sqlite3_free(message);
    return false;
  }
  return true;
}

void SqliteDb::NoteError() { lastError_ = db_ ? sqlite3_errmsg(db_) : "no database"; }

Transaction::Transaction(SqliteDb& db, Kind kind) : db_(db) {
  began_ = db_.Exec(kind == Kind::kWrite ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (began_ && !done_) db_.Exec("ROLLBACK");
}

bool Transaction::Commit() {
  if (!began_ || done_) return false;
  done_ = db_.Exec("COMMIT");
  return done_;
}
