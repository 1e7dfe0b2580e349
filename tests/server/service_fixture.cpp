#include "service_fixture.h"

#include "support/loopback_socket.h"

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "exchange/amount_scramble.h"
#include "private_postgres.h"

std::string EncodeAll(std::string_view value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::optional<std::string> IniSection::Get(const std::string& key) const {
  for (const auto& [k, v] : keys) {
    if (k == key) return v;
  }
  return std::nullopt;
}

const IniSection* IniBody::Find(const std::string& name) const {
  for (const auto& s : sections) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

std::optional<std::string> IniBody::Get(const std::string& section, const std::string& key) const {
  const IniSection* s = Find(section);
  return s ? s->Get(key) : std::nullopt;
}

IniBody ParseIni(const std::string& body) {
  IniBody ini;
  std::size_t pos = 0;
  while (pos < body.size()) {
    const auto end = body.find("\r\n", pos);
    if (end == std::string::npos) {
      ini.problem = "last line does not end in CR LF";
      return ini;
    }
    const std::string line = body.substr(pos, end - pos);
    pos = end + 2;
    if (line.find_first_of("\r\n") != std::string::npos) {
      ini.problem = "a bare CR or LF inside line '" + line + "'";
      return ini;
    }
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      ini.sections.push_back(IniSection{line.substr(1, line.size() - 2), {}});
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos || ini.sections.empty()) {
      ini.problem = "line '" + line + "' is neither a section nor a key of one";
      return ini;
    }
    ini.sections.back().keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  ini.wellFormed = true;
  return ini;
}

std::string ReportTarget(const ReportValues& v) {
  const std::string cry = v.cry ? *v.cry : ScrambleAmount(v.amount, 10, 12);
  return "/Machine/UpdateInfov2.html?sn=" + EncodeAll(v.sn) + "&Mac=" + EncodeAll(v.mac) +
         "&exp=" + EncodeAll(v.exp) + "&mps=" + EncodeAll(v.mps) + "&locate=" + EncodeAll(v.locate) +
         "&mci_kest=" + EncodeAll(v.amount) + "&cry=" + EncodeAll(cry);
}

std::string RawExchange(int port, const std::string& bytes) {
  const int fd = loopback::Connect(port);
  if (fd < 0) return std::string();
  std::string reply;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  // No half-close: the server would take it for a dropped client and not answer.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, 500);
    if (ready == 0 && !reply.empty()) break;  // the answer is complete and the line is quiet
    if (ready <= 0) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return reply;
}

ServiceTest::ServiceTest() : logPath_(box_.File("service.log")) {
  options_.binary = KESTRAVON_SERVICE_BIN;
  options_.databasePath = box_.File("service.db");
  options_.stderrPath = logPath_;
  const char* store = std::getenv("KESTRAVON_SERVICE_STORE");
  onPostgres_ = store && std::string(store) == "postgresql";
}

void ServiceTest::SetUp() {
  if (!onPostgres_) return;
  options_.databasePath = NewPostgresDatabase();
  // Never fall back on a file: the test would pass without PostgreSQL.
  if (options_.databasePath.empty() && !IsSkipped()) FAIL() << "no PostgreSQL database for this test";
}

void ServiceTest::StartService() {
  service_ = std::make_unique<MiningServiceProcess>(options_);
  ASSERT_TRUE(service_->Start()) << service_->StartError() << "\nlog:\n" << LogText();
}

void ServiceTest::RestartService() {
  ASSERT_TRUE(service_);
  const int status = service_->Stop();
  ASSERT_EQ(ExitCodeOf(status), 0) << "the service did not end cleanly";
  StartService();
}

HttpAnswer ServiceTest::Get(const std::string& target) {
  HttpAnswer answer;
  if (!service_ || !service_->Running()) return answer;
  httplib::Client client(service_->Host(), service_->Port());
  client.set_url_encode(false);  // targets are already encoded, byte by byte
  client.set_connection_timeout(std::chrono::seconds(5));
  client.set_read_timeout(std::chrono::seconds(10));
  auto res = client.Get(target.c_str());
  if (!res) return answer;
  answer.arrived = true;
  answer.status = res->status;
  answer.body = res->body;
  answer.contentType = res->get_header_value("Content-Type");
  return answer;
}

IniBody ServiceTest::MachineInfo(const std::string& serial) {
  const HttpAnswer a = Get("/Machine/GetData.html?sn=" + EncodeAll(serial) + "&Mac=00-1A-2B-3C-4D-5E");
  EXPECT_TRUE(a.arrived);
  EXPECT_EQ(a.status, 200) << a.body;
  return ParseIni(a.body);
}

namespace {

struct TestDb {
  explicit TestDb(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "cannot open " << path;
    }
    sqlite3_busy_timeout(db, 5000);
  }
  ~TestDb() { sqlite3_close_v2(db); }
  sqlite3* db = nullptr;
};

template <typename Read>
auto FirstValue(const std::string& path, const std::string& sql, Read read)
    -> std::optional<decltype(read(static_cast<sqlite3_stmt*>(nullptr)))> {
  TestDb conn(path);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(conn.db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "bad test SQL: " << sql << ": " << sqlite3_errmsg(conn.db);
    return std::nullopt;
  }
  std::optional<decltype(read(stmt))> value;
  if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
    value = read(stmt);
  }
  sqlite3_finalize(stmt);
  return value;
}

// The same on PostgreSQL: results come as text, bytea columns turned back into their bytes.
std::optional<std::string> PgFirstValue(const std::string& uri, const std::string& sql) {
  PGconn* c = PQconnectdb(uri.c_str());
  std::optional<std::string> value;
  if (PQstatus(c) != CONNECTION_OK) {
    ADD_FAILURE() << "cannot connect to the test database: " << PQerrorMessage(c);
  } else {
    PGresult* r = PQexec(c, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
      ADD_FAILURE() << "test SQL failed: " << sql << ": " << PQresultErrorMessage(r);
    } else if (status == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0)) {
      constexpr Oid kBytea = 17;
      if (PQftype(r, 0) == kBytea) {
        std::size_t length = 0;
        unsigned char* bytes =
            PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(r, 0, 0)), &length);
        if (bytes) value = std::string(reinterpret_cast<const char*>(bytes), length);
        PQfreemem(bytes);
      } else {
        value = std::string(PQgetvalue(r, 0, 0), static_cast<std::size_t>(PQgetlength(r, 0, 0)));
      }
    }
    PQclear(r);
  }
  PQfinish(c);
  return value;
}

}  // namespace

std::optional<std::int64_t> ServiceTest::DbInt(const std::string& sql) {
  if (onPostgres_) {
    const auto text = PgFirstValue(options_.databasePath, sql);
    if (!text) return std::nullopt;
    char* end = nullptr;
    const long long v = std::strtoll(text->c_str(), &end, 10);
    EXPECT_TRUE(end && *end == '\0' && !text->empty()) << "not a whole number: " << *text;
    return static_cast<std::int64_t>(v);
  }
  return FirstValue(options_.databasePath, sql,
                    [](sqlite3_stmt* s) { return static_cast<std::int64_t>(sqlite3_column_int64(s, 0)); });
}

std::optional<std::string> ServiceTest::DbText(const std::string& sql) {
  if (onPostgres_) return PgFirstValue(options_.databasePath, sql);
  return FirstValue(options_.databasePath, sql, [](sqlite3_stmt* s) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, 0));
    return std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s, 0)));
  });
}

void ServiceTest::DbExec(const std::string& sql) {
  if (onPostgres_) {
    PgFirstValue(options_.databasePath, sql);
    return;
  }
  TestDb conn(options_.databasePath);
  char* message = nullptr;
  if (sqlite3_exec(conn.db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    ADD_FAILURE() << "test SQL failed: " << sql << ": " << (message ? message : "");
  }
  sqlite3_free(message);
}
