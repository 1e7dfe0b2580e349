#include "private_postgres.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "support/sandbox.h"

namespace {

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The URI of the CTest run's server (the fixture `postgres`), empty when there is none:
// run outside CTest, or without PostgreSQL server binaries.
std::string FixtureUri() {
#ifdef KESTRAVON_POSTGRES_FIXTURE_DIR
  std::string uri = ReadFileBytes(std::string(KESTRAVON_POSTGRES_FIXTURE_DIR) + "/uri");
  while (!uri.empty() && (uri.back() == '\n' || uri.back() == '\r')) uri.pop_back();
  if (uri.rfind("postgresql://", 0) == 0) return uri;
#endif
  return "";
}

class Server {
 public:
  Server() {
    uri_ = FixtureUri();
    if (!uri_.empty()) return;  // the run's own: it stops it after the last test
    const std::string script = std::string(KESTRAVON_SOURCE_DIR) + "/scripts/private-postgres";
    const std::string command = Quoted(script) + " start " + Quoted(dir_) + " " + std::to_string(getpid()) +
                                " 2>" + Quoted(box_.File("start.log"));
    FILE* out = popen(command.c_str(), "r");
    char line[512] = {};
    if (out && std::fgets(line, sizeof line, out)) uri_ = line;
    const int status = out ? pclose(out) : -1;
    while (!uri_.empty() && (uri_.back() == '\n' || uri_.back() == '\r')) uri_.pop_back();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
      missing_ = ReadFileBytes(box_.File("start.log"));
      uri_.clear();
    } else if (status != 0 || uri_.rfind("postgresql://", 0) != 0) {
      failure_ = "the private PostgreSQL server did not start:\n" + ReadFileBytes(box_.File("start.log"));
      uri_.clear();
    } else {
      started_ = true;
    }
  }
  ~Server() {
    if (started_) {
      const std::string stop =
          Quoted(std::string(KESTRAVON_SOURCE_DIR) + "/scripts/private-postgres") + " stop " + Quoted(dir_);
      if (std::system(stop.c_str()) != 0) std::fprintf(stderr, "private-postgres stop failed\n");
    }
  }
  const std::string& Uri() const { return uri_; }          // of the database "postgres"
  const std::string& Missing() const { return missing_; }  // why there is no server
  const std::string& Failure() const { return failure_; }

 private:
  Sandbox box_;
  std::string dir_ = box_.Path();  // handed to the server's user when run as root
  std::string uri_;
  std::string missing_;
  std::string failure_;
  bool started_ = false;
};

// Static, so the server goes when the process ends normally; the script's watchdog takes
// care of a process that is killed.
Server& TheServer() {
  static Server server;
  return server;
}

}  // namespace

std::string NewPostgresDatabase() {
  static std::mutex mutex;
  static int next = 0;
  std::lock_guard<std::mutex> lock(mutex);
  const Server& server = TheServer();
  if (!server.Missing().empty()) {
    if (InCi()) {
      ADD_FAILURE() << "CI is set but there is no PostgreSQL server to test against: " << server.Missing();
    } else {
      [&] { GTEST_SKIP() << "PostgreSQL variant skipped: " << server.Missing(); }();
    }
    return "";
  }
  if (!server.Failure().empty()) {
    ADD_FAILURE() << server.Failure();
    return "";
  }
  const std::string name = "test_" + std::to_string(getpid()) + "_" + std::to_string(++next);
  PGconn* c = PQconnectdb(server.Uri().c_str());
  std::string error;
  if (PQstatus(c) != CONNECTION_OK) {
    error = PQerrorMessage(c);
  } else {
    PGresult* r = PQexec(c, ("CREATE DATABASE " + name).c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK) error = PQresultErrorMessage(r);
    PQclear(r);
  }
  PQfinish(c);
  if (!error.empty()) {
    ADD_FAILURE() << "cannot make a test database: " << error;
    return "";
  }
  const std::string& base = server.Uri();
  return base.substr(0, base.rfind('/') + 1) + name;
}
