#pragma once
// A thin RAII layer over libpq: one connection, statements with bound parameters (request
// bytes only ever reach the server as parameters, never as SQL text), results as text.
#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class PgResult {
 public:
  explicit PgResult(PGresult* result) : result_(result, &PQclear) {}
  bool Ok() const;  // a command that succeeded, with or without rows
  int Rows() const { return result_ ? PQntuples(result_.get()) : 0; }
  std::string Text(int row, int column) const;
  std::int64_t Int(int row, int column) const;
  double Real(int row, int column) const;

 private:
  std::unique_ptr<PGresult, decltype(&PQclear)> result_;
};

// Parameters of one statement: texts, numbers, and byte strings sent as bytea.
class PgParams {
 public:
  PgParams& Text(std::string_view value);
  PgParams& Bytes(std::string_view value);
  PgParams& Int(std::int64_t value);
  PgParams& Real(double value);

 private:
  friend class PgConnection;
  std::vector<std::string> values_;
  std::vector<int> formats_;  // 0 text, 1 binary (bytea)
};

// One statement of a pipeline: the program's own SQL and its parameters.
struct PgStatement {
  const char* sql;
  PgParams params;
};

class PgConnection {
 public:
  PgConnection() = default;
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  bool Open(const std::string& uri, std::string& error);
  PgResult Run(const char* sql, const PgParams& params = PgParams());
  bool Exec(const char* sql);  // fixed SQL of the program itself
  // The statements sent together and answered together, in one round trip: a result per
  // statement, in order. After a statement that failed, the rest are not run (not Ok).
  std::vector<PgResult> RunTogether(const std::vector<PgStatement>& statements);
  // COMMIT; true only when the server did commit (a failed transaction answers ROLLBACK).
  bool Commit();
  // Connects again when the connection has been lost; true when it is usable.
  bool Reconnect();
  std::string LastError() const;

 private:
  bool Send(const PgStatement& statement);
  PGconn* conn_ = nullptr;
};
