#include "server/store/pg_db.h"

#include <cstdio>
#include <cstdlib>

bool PgResult::Ok() const {
  if (!result_) return false;
  const ExecStatusType s = PQresultStatus(result_.get());
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

std::string PgResult::Text(int row, int column) const {
  if (!result_ || PQgetisnull(result_.get(), row, column)) return std::string();
  return std::string(PQgetvalue(result_.get(), row, column),
                     static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}

std::int64_t PgResult::Int(int row, int column) const {
  return std::strtoll(Text(row, column).c_str(), nullptr, 10);
}

double PgResult::Real(int row, int column) const { return std::strtod(Text(row, column).c_str(), nullptr); }

PgParams& PgParams::Text(std::string_view value) {
  values_.emplace_back(value);
  formats_.push_back(0);
  return *this;
}

PgParams& PgParams::Bytes(std::string_view value) {
  values_.emplace_back(value);
  formats_.push_back(1);
  return *this;
}

PgParams& PgParams::Int(std::int64_t value) { return Text(std::to_string(value)); }

PgParams& PgParams::Real(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);  // exact round trip of a double
  return Text(text);
}

PgConnection::~PgConnection() {
  if (conn_) PQfinish(conn_);
}

bool PgConnection::Open(const std::string& uri, std::string& error) {
  conn_ = PQconnectdb(uri.c_str());
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    error = LastError();
    return false;
  }
  return true;
}

PgResult PgConnection::Run(const char* sql, const PgParams& params) {
  const int count = static_cast<int>(params.values_.size());
  std::vector<const char*> values(params.values_.size());
  std::vector<int> lengths(params.values_.size());
  for (std::size_t i = 0; i < params.values_.size(); ++i) {
    values[i] = params.values_[i].data();
    lengths[i] = static_cast<int>(params.values_[i].size());
  }
  return PgResult(PQexecParams(conn_, sql, count, nullptr, values.data(), lengths.data(),
                               params.formats_.data(), /*resultFormat=*/0));
}

bool PgConnection::Send(const PgStatement& statement) {
  const PgParams& params = statement.params;
  std::vector<const char*> values(params.values_.size());
  std::vector<int> lengths(params.values_.size());
  for (std::size_t i = 0; i < params.values_.size(); ++i) {
    values[i] = params.values_[i].data();
    lengths[i] = static_cast<int>(params.values_[i].size());
  }
  return PQsendQueryParams(conn_, statement.sql, static_cast<int>(values.size()), nullptr, values.data(),
                           lengths.data(), params.formats_.data(),
                           /*resultFormat=*/0) == 1;
}

std::vector<PgResult> PgConnection::RunTogether(const std::vector<PgStatement>& statements) {
  std::vector<PgResult> results;
  results.reserve(statements.size());
  if (conn_ && PQenterPipelineMode(conn_) == 1) {
    std::size_t sent = 0;
    while (sent < statements.size() && Send(statements[sent])) ++sent;
    const bool synced = PQpipelineSync(conn_) == 1;  // also sends what is buffered
    // Each statement's result is followed by a null; the sync point comes last.
    for (std::size_t i = 0; i < sent; ++i) {
      results.emplace_back(PQgetResult(conn_));
      while (PGresult* more = PQgetResult(conn_)) PQclear(more);
    }
    while (synced) {
      PGresult* r = PQgetResult(conn_);
      if (!r) break;
      const bool syncPoint = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
      PQclear(r);
      if (syncPoint) break;
    }
    // A connection left half-way in a pipeline would be of no use: start it afresh (any
    // transaction on it is lost, so its commit fails and nobody is told "stored").
    if (PQexitPipelineMode(conn_) != 1) PQreset(conn_);
  }
  while (results.size() < statements.size()) results.emplace_back(nullptr);
  return results;
}

// The simple protocol: fixed SQL of several statements, no parameters.
bool PgConnection::Exec(const char* sql) { return PgResult(PQexec(conn_, sql)).Ok(); }

bool PgConnection::Commit() {
  PGresult* r = PQexec(conn_, "COMMIT");
  const bool committed =
      PQresultStatus(r) == PGRES_COMMAND_OK && std::string_view(PQcmdStatus(r)) == "COMMIT";
  PQclear(r);
  return committed;
}

bool PgConnection::Reconnect() {
  if (!conn_) return false;
  if (PQstatus(conn_) == CONNECTION_BAD) PQreset(conn_);
  return PQstatus(conn_) == CONNECTION_OK;
}

std::string PgConnection::LastError() const { return conn_ ? PQerrorMessage(conn_) : "out of memory"; }
