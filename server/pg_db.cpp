#include "server/pg_db.h"

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

double PgResult::Real(int row, int column) const {
  return std::strtod(Text(row, column).c_str(), nullptr);
}

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

std::string PgConnection::LastError() const {
  return conn_ ? PQerrorMessage(conn_) : "out of memory";
}
