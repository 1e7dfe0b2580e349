// The PostgreSQL back end: the service on a database of the private PostgreSQL server, and
// the same requests answered byte for byte as with SQLite.
#include <libpq-fe.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "exchange/amount_scramble.h"
#include "private_postgres.h"
#include "service_fixture.h"

namespace {

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
  void SetUp() override {
    ServiceTest::SetUp();
    uri_ = NewPostgresDatabase();
    if (uri_.empty() && !IsSkipped()) FAIL() << "no PostgreSQL database for this test";
  }
  std::string uri_;
};

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
  sqlite.reserve(std::size(targets));
  StartService();
  for (const auto& t : targets) sqlite.push_back(Get(t));
  service_->Stop();

  options_.databasePath = uri_;
  StartService();
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const HttpAnswer a = Get(targets[i]);
    EXPECT_EQ(a.status, sqlite[i].status) << targets[i];
    EXPECT_EQ(a.body, sqlite[i].body) << targets[i];
  }
  const std::string& uri = uri_;
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
  options_.databasePath = uri_;
  StartService();
  const std::string& uri = uri_;
  const long long before =
      PgInt(uri, "SELECT fuel FROM machines WHERE serial = $1", std::string(kDemoSerial));
  ASSERT_GT(before, 40);
  std::vector<std::thread> senders;
  senders.reserve(8);
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
  EXPECT_EQ(PgInt(uri, "SELECT fuel FROM machines WHERE serial = $1", std::string(kDemoSerial)), before - 40);
}

// Reports go through the group-commit writer: whatever batch a report lands in, its row
// can be read from another connection the moment its answer has arrived.
TEST_F(PostgresStore, EveryAnsweredReportIsAlreadyInTheDatabase) {
  options_.databasePath = uri_;
  StartService();
  std::vector<std::thread> senders;
  senders.reserve(8);
  std::atomic<int> answered{0};
  std::atomic<int> seen{0};
  for (int t = 0; t < 8; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        ReportValues v;
        v.mac = "sender-" + std::to_string(t) + "-" + std::to_string(i);
        if (Report(v).status != 200) continue;
        ++answered;
        if (PgInt(uri_, "SELECT COUNT(*) FROM reports WHERE mac = $1", v.mac) == 1) ++seen;
      }
    });
  }
  for (auto& t : senders) t.join();
  EXPECT_EQ(answered.load(), 40);
  EXPECT_EQ(seen.load(), 40);
}

// PostgreSQL keeps NaN and infinities in a float column (a hand-edited row, say). The
// batch writes the machine's state back as array text ("%.17g"): a report of such a
// machine is still stored and the odd value comes back unchanged.
TEST_F(PostgresStore, AMachineWithAnOddKestStillTakesReports) {
  options_.databasePath = uri_;
  StartService();
  ReportValues mismatch;  // the amount is not taken, so the stored KEST is written back
  mismatch.cry = "not the scramble";
  for (const char* odd : {"NaN", "Infinity", "-Infinity"}) {
    SCOPED_TRACE(odd);
    ASSERT_EQ(PgInt(uri_, "UPDATE machines SET kest = $1::text::float8 RETURNING 1", odd), 1);
    const long long fuel = PgInt(uri_, "SELECT fuel FROM machines");
    EXPECT_EQ(Report(mismatch).status, 200);
    EXPECT_EQ(PgInt(uri_, "SELECT fuel FROM machines"), fuel - 1);
    EXPECT_EQ(PgInt(uri_, "SELECT COUNT(*) FROM machines WHERE kest = $1::text::float8", odd), 1);
  }
}

// The server cuts every connection of the service (as a restart of it would): a request
// that was using one may fail, never with a false "stored", and the next ones are answered
// on connections made again.
TEST_F(PostgresStore, ComesBackAfterItsConnectionsAreCut) {
  options_.databasePath = uri_;
  StartService();
  ASSERT_EQ(Report(ReportValues{}).status, 200);
  ASSERT_EQ(MachineInfo().Get("Machine", "Fuel").has_value(), true);
  const long long cut = PgInt(uri_,
                              "SELECT COUNT(pg_terminate_backend(pid)) FROM pg_stat_activity"
                              " WHERE datname = current_database() AND pid <> pg_backend_pid()");
  ASSERT_GE(cut, 2);  // at least the writer and one reader
  int reportsAnswered = 1;
  for (int i = 0; i < 4; ++i) {
    ReportValues v;
    v.mac = "after-cut-" + std::to_string(i);
    const int status = Report(v).status;
    // Only the first request on a cut connection may fail.
    if (i > 0) {
      EXPECT_EQ(status, 200) << i;
    }
    if (status == 200) {
      ++reportsAnswered;
      EXPECT_EQ(PgInt(uri_, "SELECT COUNT(*) FROM reports WHERE mac = $1", v.mac), 1);
    } else {
      EXPECT_EQ(status, 500);
      EXPECT_EQ(PgInt(uri_, "SELECT COUNT(*) FROM reports WHERE mac = $1", v.mac), 0);
    }
  }
  EXPECT_EQ(PgInt(uri_, "SELECT COUNT(*) FROM reports"), reportsAnswered);
  int infoAnswered = 0;
  for (int i = 0; i < 3; ++i) {
    if (Get("/Machine/GetData.html?sn=KST-DEMO-0001&Mac=x").status == 200) ++infoAnswered;
  }
  EXPECT_GE(infoAnswered, 2);
}

}  // namespace
