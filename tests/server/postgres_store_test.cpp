// The PostgreSQL back end: a private PostgreSQL server on 127.0.0.1 in a temporary
// folder, the service on it, and the same requests answered byte for byte as with SQLite.
#include <arpa/inet.h>
#include <glob.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service_fixture.h"
#include "service/amount_scramble.h"

namespace {

std::string FindPgBin() {
  glob_t g{};
  std::string dir;
  if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &g) == 0 && g.gl_pathc > 0) {
    dir = g.gl_pathv[g.gl_pathc - 1];
    dir.resize(dir.size() - std::string("/initdb").size());
  }
  globfree(&g);
  return dir;
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  close(fd);
  return port;
}

// One PostgreSQL server for the suite. PostgreSQL refuses to run as root, so under root
// it runs as the postgres system user in a folder handed to that user.
class PgCluster {
 public:
  bool Start(std::string& why) {
    const std::string bin = FindPgBin();
    if (bin.empty()) {
      why = "no PostgreSQL server binaries (scripts/setup installs them)";
      return false;
    }
    std::string as;
    if (geteuid() == 0) {
      const passwd* pg = getpwnam("postgres");
      if (!pg || chown(box_.Path().c_str(), pg->pw_uid, pg->pw_gid) != 0) {
        why = "running as root without a postgres user to run the server as";
        return false;
      }
      as = "runuser -u postgres -- ";
    }
    port_ = FreePort();
    const std::string data = box_.File("data");
    // The server writes its own log as its own user; the shell's logs stay the caller's.
    const std::string serverLog = box_.File("postgres.log");
    const std::string log = box_.File("setup.log");
    const std::string init = as + bin + "/initdb -D " + data +
                             " -A trust -U kestravon -E UTF8 --no-sync >" + log + " 2>&1";
    const std::string start = as + bin + "/pg_ctl -D " + data + " -l " + serverLog +
                              " -w -o \"-h 127.0.0.1 -p " + std::to_string(port_) + " -k " +
                              box_.Path() + " -c fsync=off\" start >>" + log + " 2>&1";
    if (std::system(init.c_str()) != 0 || std::system(start.c_str()) != 0) {
      failed_ = "PostgreSQL did not start:\n" + ReadFileBytes(log) + ReadFileBytes(serverLog);
      return false;
    }
    stop_ = as + bin + "/pg_ctl -D " + data + " -m immediate stop >>" + log + " 2>&1";
    return true;
  }
  ~PgCluster() {
    if (!stop_.empty()) std::system(stop_.c_str());
  }
  // Set when the binaries are there but the server would not start: a failure, no skip.
  const std::string& Failed() const { return failed_; }
  std::string Uri() const {
    return "postgresql://kestravon@127.0.0.1:" + std::to_string(port_) + "/postgres";
  }

 private:
  Sandbox box_;
  int port_ = 0;
  std::string stop_;
  std::string failed_;
};

// A single number from the PostgreSQL database, or -1.
long long PgInt(const std::string& uri, const char* sql, const std::string& param = "") {
  PGconn* c = PQconnectdb(uri.c_str());
  long long v = -1;
  if (PQstatus(c) == CONNECTION_OK) {
    const char* values[] = {param.data()};
    const int lengths[] = {static_cast<int>(param.size())};
    const int formats[] = {1};
    PGresult* r = PQexecParams(c, sql, param.empty() ? 0 : 1, nullptr, values, lengths, formats, 0);
    if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) v = std::atoll(PQgetvalue(r, 0, 0));
    PQclear(r);
  }
  PQfinish(c);
  return v;
}

class PostgresStore : public ServiceTest {
 protected:
  static void SetUpTestSuite() {
    cluster_ = new PgCluster;
    if (!cluster_->Start(why_)) {
      startFailure_ = cluster_->Failed();
      delete cluster_;
      cluster_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete cluster_;
    cluster_ = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(startFailure_, "");
    if (!cluster_) GTEST_SKIP() << why_;
  }
  static PgCluster* cluster_;
  static std::string why_;
  static std::string startFailure_;
};
PgCluster* PostgresStore::cluster_ = nullptr;
std::string PostgresStore::why_;
std::string PostgresStore::startFailure_;

TEST_F(PostgresStore, AnswersEveryRequestAsTheSqliteStoreDoes) {
  std::string everyByte;
  for (int i = 1; i < 256; ++i) everyByte.push_back(static_cast<char>(i));
  everyByte.insert(everyByte.begin() + 5, '\0');
  ReportValues good;
  ReportValues mismatch;
  mismatch.cry = "not the scramble";
  ReportValues stranger;
  stranger.sn = everyByte;
  stranger.mac = everyByte;
  ReportValues later;
  later.amount = "31.250000";
  later.cry = ScrambleAmount(later.amount, 2, 34);
  const std::vector<std::string> targets = {
      "/Machine/GetData.html?sn=KST-DEMO-0001&Mac=00-1A-2B-3C-4D-5E",
      "/Machine/UpdateOnOff.html?sn=KST-DEMO-0001&Mac=00-1A-2B-3C-4D-5E&OnOff=1",
      ReportTarget(good),
      ReportTarget(mismatch),
      ReportTarget(stranger),
      ReportTarget(later),
      "/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x",
      "/Machine/GetData.html?sn=" + EncodeAll(everyByte) + "&Mac=x",
      "/Machine/UpdateOnOff.html?sn=" + EncodeAll(everyByte) + "&Mac=x&OnOff=0",
      "/Machine/UpdateOnOff.html?sn=KST-DEMO-0001&Mac=x&OnOff=0",
  };
  // The same requests against SQLite first, then PostgreSQL; boostEvery 2 so a boost
  // Code comes up in so few reports.
  options_.boostEvery = 2;
  std::vector<HttpAnswer> sqlite;
  StartService();
  for (const auto& t : targets) sqlite.push_back(Get(t));
  service_->Stop();

  options_.databasePath = cluster_->Uri();
  StartService();
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const HttpAnswer a = Get(targets[i]);
    EXPECT_EQ(a.status, sqlite[i].status) << targets[i];
    EXPECT_EQ(a.body, sqlite[i].body) << targets[i];
  }
  const std::string uri = cluster_->Uri();
  EXPECT_EQ(PgInt(uri, "SELECT COUNT(*) FROM reports"), 4);
  EXPECT_EQ(PgInt(uri, "SELECT COUNT(*) FROM power_notices"), 3);
  // The stranger's serial number arrived byte for byte, NUL included.
  EXPECT_EQ(PgInt(uri, "SELECT COUNT(*) FROM reports WHERE serial = $1", everyByte), 1);
  EXPECT_EQ(PgInt(uri, "SELECT COUNT(*) FROM power_notices WHERE serial = $1", everyByte), 1);

  // A restart finds the database made and keeps the machine's state.
  RestartService();
  EXPECT_EQ(MachineInfo().Get("Machine", "Fuel"), "247");
  EXPECT_EQ(PgInt(uri, "SELECT COUNT(*) FROM machines"), 1);
}

TEST_F(PostgresStore, ParallelReportsOfOneMachineEachBurnOneUnit) {
  options_.databasePath = cluster_->Uri();
  StartService();
  const std::string uri = cluster_->Uri();
  const long long before = PgInt(uri, "SELECT fuel FROM machines WHERE serial = $1",
                                 std::string(kDemoSerial));
  ASSERT_GT(before, 40);
  std::vector<std::thread> senders;
  std::atomic<int> answered{0};
  for (int t = 0; t < 8; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        if (Report(ReportValues{}).status == 200) ++answered;
      }
    });
  }
  for (auto& t : senders) t.join();
  EXPECT_EQ(answered.load(), 40);
  EXPECT_EQ(PgInt(uri, "SELECT fuel FROM machines WHERE serial = $1", std::string(kDemoSerial)),
            before - 40);
}

}  // namespace
