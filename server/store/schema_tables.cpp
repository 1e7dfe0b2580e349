#include "server/store/schema_tables.h"

#include <vector>

namespace {

// What a column holds; each dialect has its own type for it.
enum class Kind {
  kRowId,  // the row's key, numbered by the database
  kInt,    // a 32-bit number
  kLong,   // a 64-bit number: a count, or another table's row id
  kReal,
  kText,  // text of the service's own
  // Bytes as the client sent them, in its code page, compared byte for byte. SQLite keeps
  // them in TEXT as they are; PostgreSQL's TEXT would refuse what is not valid UTF-8.
  kClientBytes,
  kBlob,
  kReceivedAt,  // when the row was written, filled in by the database
};

const char* TypeOf(Kind kind, SqlDialect dialect) {
  const bool sqlite = dialect == SqlDialect::kSqlite;
  switch (kind) {
    case Kind::kRowId: return sqlite ? "INTEGER PRIMARY KEY" : "BIGSERIAL PRIMARY KEY";
    case Kind::kInt: return "INTEGER";
    case Kind::kLong: return sqlite ? "INTEGER" : "BIGINT";
    case Kind::kReal: return sqlite ? "REAL" : "DOUBLE PRECISION";
    case Kind::kText: return "TEXT";
    case Kind::kClientBytes: return sqlite ? "TEXT" : "BYTEA";
    case Kind::kBlob: return sqlite ? "BLOB" : "BYTEA";
    case Kind::kReceivedAt:
      return sqlite ? "TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))"
                    : "TIMESTAMPTZ NOT NULL DEFAULT now()";
  }
  return "";
}

struct Column {
  const char* name;
  Kind kind;
  const char* constraints;  // after the type, the same in both dialects
};

struct Table {
  const char* name;
  std::vector<Column> columns;
};

constexpr const char* kRequired = "NOT NULL";
constexpr const char* kZero = "NOT NULL DEFAULT 0";
constexpr const char* kEmpty = "NOT NULL DEFAULT ''";

const std::vector<Table>& Tables() {
  static const std::vector<Table> tables = {
      {"mars",
       {{"id", Kind::kRowId, ""},
        {"name", Kind::kText, kRequired},
        {"active_users", Kind::kInt, kZero},
        {"active_machines", Kind::kInt, kZero},
        {"total_kest_mining", Kind::kReal, kZero},
        {"mkph", Kind::kReal, kZero},
        {"mkps", Kind::kReal, kZero},
        {"b_kest", Kind::kReal, kZero},
        {"b_btc", Kind::kReal, kZero},
        {"b_eth", Kind::kReal, kZero},
        {"b_bnb", Kind::kReal, kZero},
        {"kest_addr", Kind::kText, kEmpty},
        {"btc_addr", Kind::kText, kEmpty},
        {"eth_addr", Kind::kText, kEmpty},
        {"bnb_addr", Kind::kText, kEmpty}}},
      {"users",
       {{"id", Kind::kRowId, ""},
        {"kest_addr", Kind::kText, kEmpty},
        {"btc_addr", Kind::kText, kEmpty},
        {"eth_addr", Kind::kText, kEmpty},
        {"bnb_addr", Kind::kText, kEmpty},
        {"kest_balance", Kind::kReal, kZero},
        {"btc_balance", Kind::kReal, kZero},
        {"eth_balance", Kind::kReal, kZero},
        {"bnb_balance", Kind::kReal, kZero}}},
      {"machines",
       {{"id", Kind::kRowId, ""},
        {"serial", Kind::kClientBytes, "NOT NULL UNIQUE"},
        {"name", Kind::kText, kEmpty},
        {"sector", Kind::kInt, kZero},
        {"location", Kind::kReal, kZero},
        {"level", Kind::kInt, kZero},
        {"exp", Kind::kInt, kZero},
        {"fuel", Kind::kInt, kZero},
        {"auto_charge", Kind::kInt, kZero},
        {"target_coin", Kind::kInt, kZero},
        {"kest", Kind::kReal, kZero},
        {"btc", Kind::kReal, kZero},
        {"eth", Kind::kReal, kZero},
        {"bnb", Kind::kReal, kZero},
        {"on_off", Kind::kInt, kZero},
        {"mars_id", Kind::kLong, "NOT NULL REFERENCES mars(id)"},
        {"user_id", Kind::kLong, "NOT NULL REFERENCES users(id)"},
        {"report_count", Kind::kLong, kZero}}},
      {"coin_prices", {{"coin", Kind::kText, "PRIMARY KEY"}, {"usd", Kind::kReal, kRequired}}},
      {"reports",
       {{"id", Kind::kRowId, ""},
        {"serial", Kind::kClientBytes, kRequired},
        {"mac", Kind::kClientBytes, kRequired},
        {"exp", Kind::kInt, kRequired},
        {"mps", Kind::kReal, kRequired},
        {"locate", Kind::kReal, kRequired},
        {"mci_kest", Kind::kReal, kRequired},
        {"mci_kest_text", Kind::kClientBytes, kRequired},
        {"cry", Kind::kBlob, kRequired},
        {"cry_ok", Kind::kInt, kRequired},
        {"known_machine", Kind::kInt, kRequired},
        {"fuel_after", Kind::kInt, kRequired},
        {"code", Kind::kInt, kRequired},
        {"received_at", Kind::kReceivedAt, ""}}},
      {"power_notices",
       {{"id", Kind::kRowId, ""},
        {"serial", Kind::kClientBytes, kRequired},
        {"mac", Kind::kClientBytes, kRequired},
        {"on_off", Kind::kInt, kRequired},
        {"known_machine", Kind::kInt, kRequired},
        {"received_at", Kind::kReceivedAt, ""}}},
  };
  return tables;
}

// The reads by machine: its reports and its power notices.
constexpr const char* kIndexes =
    "CREATE INDEX IF NOT EXISTS reports_by_serial ON reports(serial);\n"
    "CREATE INDEX IF NOT EXISTS power_notices_by_serial ON power_notices(serial);\n";

}  // namespace

std::string CreateTablesSql(SqlDialect dialect) {
  std::string sql;
  for (const Table& table : Tables()) {
    sql += std::string("CREATE TABLE IF NOT EXISTS ") + table.name + " (\n";
    const char* separator = "";
    for (const Column& column : table.columns) {
      sql += separator;
      sql += std::string("  ") + column.name + " " + TypeOf(column.kind, dialect);
      if (*column.constraints != '\0') sql += std::string(" ") + column.constraints;
      separator = ",\n";
    }
    sql += "\n);\n";
  }
  return sql + kIndexes;
}
