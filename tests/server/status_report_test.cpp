// Status reports against the real service: the scramble check, fuel, the Code and what
// the database keeps of every report.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "exchange/amount_scramble.h"
#include "service_fixture.h"

namespace {

constexpr int kSeededFuel = 250;
constexpr double kSeededKest = 25.0;

std::string Lf(double value) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%lf", value);
  return buffer;
}

int CodeOf(const IniBody& reply) { return std::stoi(reply.Get("Machine", "Code").value_or("-1")); }
int FuelOf(const IniBody& reply) { return std::stoi(reply.Get("Machine", "Fuel").value_or("-1")); }

class StatusReport : public ServiceTest {
 protected:
  IniBody SendReport(const ReportValues& v) {
    const HttpAnswer a = Report(v);
    EXPECT_TRUE(a.arrived);
    EXPECT_EQ(a.status, 200) << a.body;
    IniBody reply = ParseIni(a.body);
    EXPECT_TRUE(reply.wellFormed) << reply.problem << "\n" << a.body;
    return reply;
  }
};

TEST_F(StatusReport, AMatchingScrambleIsAcceptedAndBurnsOneUnitOfFuel) {
  StartService();
  ReportValues v;
  v.amount = "26.500000";
  v.exp = "1375";
  const IniBody reply = SendReport(v);

  ASSERT_EQ(reply.sections.size(), 2u);
  EXPECT_EQ(reply.sections[0].name, "Machine");
  EXPECT_EQ(reply.sections[1].name, "Version");
  EXPECT_EQ(reply.Get("Machine", "Fuel"), std::to_string(kSeededFuel - 1));
  EXPECT_EQ(reply.Get("Machine", "KEST"), "26.500000");
  const int code = CodeOf(reply);
  EXPECT_NE(code, 0);
  EXPECT_NE(code % 3021, 0) << "the first report of a machine gets no boost by default";
  EXPECT_EQ(reply.Get("Version", "Server"), "0.216");

  // The machine's record moved on, as the next start of the client will see it.
  const IniBody info = MachineInfo();
  EXPECT_EQ(info.Get("Machine", "Fuel"), std::to_string(kSeededFuel - 1));
  EXPECT_EQ(info.Get("Machine", "KEST"), "26.500000");
  EXPECT_EQ(info.Get("Machine", "EXP"), "1375");

  // Every value of the report is on record, the scramble as the exact bytes.
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM reports"), 1);
  EXPECT_EQ(DbText("SELECT serial FROM reports"), kDemoSerial);
  EXPECT_EQ(DbText("SELECT mac FROM reports"), v.mac);
  EXPECT_EQ(DbInt("SELECT exp FROM reports"), 1375);
  EXPECT_EQ(DbText("SELECT mci_kest_text FROM reports"), "26.500000");
  EXPECT_EQ(DbText("SELECT cry FROM reports"), ScrambleAmount("26.500000", 10, 12));
  EXPECT_EQ(DbInt("SELECT cry_ok FROM reports"), 1);
  EXPECT_EQ(DbInt("SELECT code FROM reports"), code);
  EXPECT_EQ(DbInt("SELECT fuel_after FROM reports"), kSeededFuel - 1);
  if (OnPostgres()) {
    EXPECT_EQ(DbText("SELECT pg_typeof(received_at)::text FROM reports"), "timestamp with time zone");
  } else {
    EXPECT_EQ(DbText("SELECT typeof(received_at) FROM reports"), "text");
  }
}

TEST_F(StatusReport, EveryClockOffsetAClientCanUseIsAccepted) {
  StartService();
  // Hours 0-2 and these minutes give all 30 offset patterns: every a, every b, both halves.
  for (int hour = 0; hour < 3; ++hour) {
    for (int minute : {0, 1, 2, 3, 4, 29, 30, 31, 32, 33, 34, 59}) {
      ReportValues v;
      v.amount = "31.250000";
      v.cry = ScrambleAmount(v.amount, hour, minute);
      const IniBody reply = SendReport(v);
      EXPECT_NE(CodeOf(reply), 0) << "cry made at " << hour << ":" << minute;
    }
  }
}

TEST_F(StatusReport, ScrambledBytesSurviveTheTripExactly) {
  // The "%lf" text of 1e300 is 308 bytes; at 02:04 its scramble holds '+', '&', '#', '%',
  // '=', '?', blanks and bytes of 0x80 and above, all of which must arrive unchanged.
  StartService();
  ReportValues v;
  v.amount = Lf(1e300);
  v.cry = ScrambleAmount(v.amount, 2, 4);
  ASSERT_EQ(v.cry->size(), v.amount.size());
  for (char special : std::string("+&#%=? ")) {
    ASSERT_NE(v.cry->find(special), std::string::npos) << "premise: cry holds '" << special << "'";
  }
  const IniBody reply = SendReport(v);
  EXPECT_NE(CodeOf(reply), 0);
  EXPECT_EQ(reply.Get("Machine", "KEST"), v.amount);
  EXPECT_EQ(DbText("SELECT cry FROM reports"), *v.cry);
}

TEST_F(StatusReport, AMismatchingScrambleGetsCodeZeroAndKeepsTheStoredAmount) {
  StartService();
  const std::string amount = "40.000000";
  const std::string good = ScrambleAmount(amount, 10, 12);
  std::string lastByteOff = good;
  lastByteOff.back() = static_cast<char>(lastByteOff.back() + 1);
  std::string allPlusFive;  // b = 5 is no minute remainder
  for (char c : amount) allPlusFive += static_cast<char>(c + 5);
  const std::vector<std::string> wrong = {
      lastByteOff, allPlusFive, good.substr(0, good.size() - 1),
      good + "A",  "",          ScrambleAmount("41.000000", 10, 12),  // the scramble of another amount
  };
  int fuel = kSeededFuel;
  for (const std::string& cry : wrong) {
    ReportValues v;
    v.amount = amount;
    v.cry = cry;
    const IniBody reply = SendReport(v);
    EXPECT_EQ(CodeOf(reply), 0) << "cry '" << cry << "'";
    EXPECT_EQ(reply.Get("Machine", "KEST"), Lf(kSeededKest)) << "a refused amount is not taken";
    EXPECT_EQ(FuelOf(reply), --fuel) << "a refused report still burns fuel";
  }
  EXPECT_EQ(MachineInfo().Get("Machine", "KEST"), Lf(kSeededKest));
  EXPECT_EQ(DbInt("SELECT COUNT(*) FROM reports WHERE cry_ok = 0 AND code = 0"),
            static_cast<std::int64_t>(wrong.size()));
}

TEST_F(StatusReport, TheUnscrambledAmountCountsAsTheScrambleOfMinuteZeroOffsets) {
  // At 12:45 or 09:00 the offsets are all 0, so cry equals the amount itself.
  StartService();
  ReportValues v;
  v.amount = "27.000000";
  v.cry = v.amount;
  EXPECT_NE(CodeOf(SendReport(v)), 0);
}

TEST_F(StatusReport, AnEmptyTankAnswersCodeZero) {
  StartService();
  DbExec("UPDATE machines SET fuel = 2");
  ReportValues v;

  v.amount = "30.000000";
  IniBody reply = SendReport(v);
  EXPECT_EQ(FuelOf(reply), 1);
  EXPECT_NE(CodeOf(reply), 0);

  // The report that burns the last unit is taken, but the machine cannot go on.
  v.amount = "31.000000";
  reply = SendReport(v);
  EXPECT_EQ(FuelOf(reply), 0);
  EXPECT_EQ(CodeOf(reply), 0);
  EXPECT_EQ(reply.Get("Machine", "KEST"), "31.000000");

  // With nothing left to burn, fuel stays at 0 and the amount is no longer taken.
  v.amount = "32.000000";
  reply = SendReport(v);
  EXPECT_EQ(FuelOf(reply), 0);
  EXPECT_EQ(CodeOf(reply), 0);
  EXPECT_EQ(reply.Get("Machine", "KEST"), "31.000000");
  EXPECT_EQ(DbInt("SELECT fuel FROM machines"), 0);
}

struct BoostCase {
  int every;
  int reports;
  std::vector<int> boosted;  // 1-based report numbers answered with a multiple of 3021
};

class BoostEvery : public StatusReport, public ::testing::WithParamInterface<BoostCase> {};

TEST_P(BoostEvery, OnlyTheNthReportsGetAMultipleOf3021) {
  const BoostCase& c = GetParam();
  options_.boostEvery = c.every;
  StartService();
  for (int n = 1; n <= c.reports; ++n) {
    const int code = CodeOf(SendReport(ReportValues{}));
    const bool boosted = std::find(c.boosted.begin(), c.boosted.end(), n) != c.boosted.end();
    EXPECT_NE(code, 0) << "report " << n;
    EXPECT_EQ(code % 3021 == 0, boosted) << "report " << n << " answered " << code;
    if (boosted) {
      // The client adds Code / 1e6 / 1e4 to every mining step; a step is about 1e-4.
      const double boost = code / 1000000.0 / 10000.0;
      EXPECT_GT(boost, 0.0);
      EXPECT_LT(boost, 1e-4) << "a boost should stay small";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Reports, BoostEvery,
                         ::testing::Values(BoostCase{3, 7, {3, 6}}, BoostCase{1, 3, {1, 2, 3}},
                                           BoostCase{0, 12, {}}, BoostCase{10, 11, {10}}));

TEST_F(StatusReport, AnUnknownMachineGetsCodeZeroAndIsStillRecorded) {
  StartService();
  ReportValues v;
  v.sn = "KST-NOBODY";
  const IniBody reply = SendReport(v);
  EXPECT_EQ(CodeOf(reply), 0);
  EXPECT_EQ(FuelOf(reply), 0);
  EXPECT_EQ(DbInt("SELECT known_machine FROM reports WHERE serial = 'KST-NOBODY'"), 0);
  EXPECT_EQ(DbInt("SELECT fuel FROM machines"), kSeededFuel) << "the demo machine is untouched";
}

TEST_F(StatusReport, ParallelReportsAreCountedOnceEach) {
  // Requests run on several server threads; no report may be lost or counted twice.
  options_.boostEvery = 10;
  StartService();
  constexpr int kThreads = 4;
  constexpr int kEach = 20;
  std::atomic<int> boosted{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        const HttpAnswer a = Report(ReportValues{});
        const auto code = ParseIni(a.body).Get("Machine", "Code");
        if (a.status != 200 || !code) {
          ++failed;
          continue;
        }
        if (std::stoi(*code) % 3021 == 0) ++boosted;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(boosted, kThreads * kEach / 10);
  EXPECT_EQ(DbInt("SELECT fuel FROM machines"), kSeededFuel - kThreads * kEach);
  EXPECT_EQ(DbInt("SELECT report_count FROM machines"), kThreads * kEach);
  EXPECT_EQ(DbInt("SELECT COUNT(DISTINCT fuel_after) FROM reports"), kThreads * kEach)
      << "each report saw its own fuel level";
}

TEST_F(StatusReport, TheOfferedVersionComesFromTheOption) {
  options_.clientVersion = "0.300";
  StartService();
  EXPECT_EQ(SendReport(ReportValues{}).Get("Version", "Server"), "0.300");
}

}  // namespace
