#pragma once
// The service's tables, described once: the SQLite store and the PostgreSQL store create
// them from here, each in its own dialect.
#include <string>

// The version of the tables below. A database marked with a higher one was made by a newer
// mining-service and is left alone.
constexpr int kSchemaVersion = 1;

enum class SqlDialect { kSqlite, kPostgres };

// CREATE TABLE and CREATE INDEX statements, each IF NOT EXISTS, for every table.
std::string CreateTablesSql(SqlDialect dialect);
