// Which offered versions the client takes: only newer ones, compared as dotted numbers,
// and none it refused before in the same run (with a bounded memory of refusals).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "update/self_update.h"
#include "update/update_gate.h"
#include "update/version_order.h"

namespace {

TEST(VersionOrder, ComparesDottedNumbersNumberByNumber) {
  struct Case {
    const char* a;
    const char* b;
    std::optional<int> order;  // of a against b; nullopt: not comparable
  } cases[] = {
      {"0.216", "0.217", -1},
      {"0.217", "0.216", 1},
      {"0.216", "0.216", 0},
      {"0.2160", "0.216", 1},  // 2160 against 216, not a decimal fraction
      {"0.100", "0.216", -1},
      {"1.0", "0.216", 1},
      {"0.216.1", "0.216", 1},
      {"0.216.0", "0.216", 0},  // a missing number counts as 0
      {"0.216", "0.216.0.0", 0},
      {"0.216", "0.216.0.1", -1},
      {"0.0216", "0.216", 0},  // leading zeros do not count
      {"00.216", "0.216", 0},
      {"0.000", "0", 0},
      {"0.216", "0.99", 1},  // by value, not by text
      {"0.9", "0.10", -1},
      {"18446744073709551617", "18446744073709551616", 1},  // beyond 64 bits, exactly
      {"99999999999999999999999.1", "99999999999999999999998.9", 1},
      {"0.216a", "0.216", std::nullopt},
      {"0.216", "v0.216", std::nullopt},
      {"", "0.216", std::nullopt},
      {"0.216", "", std::nullopt},
      {".216", "0.216", std::nullopt},
      {"0.216.", "0.216", std::nullopt},
      {"0..216", "0.216", std::nullopt},
      {"0,217", "0.216", std::nullopt},
      {" 0.217", "0.216", std::nullopt},
      {"0.217 ", "0.216", std::nullopt},
      {"-1.0", "0.216", std::nullopt},
      {"+1.0", "0.216", std::nullopt},
      {"0x10", "0.216", std::nullopt},
      {"1e3", "0.216", std::nullopt},
      {"0.\xd9\xa3", "0.216", std::nullopt},  // a digit of another script
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    const std::optional<int> order = CompareVersions(c.a, c.b);
    ASSERT_EQ(order.has_value(), c.order.has_value());
    if (order) {
      EXPECT_EQ(*order, *c.order);
      // The other way round gives the opposite answer.
      EXPECT_EQ(CompareVersions(c.b, c.a), -*c.order);
    }
    EXPECT_EQ(IsNewerVersion(c.a, c.b), c.order.has_value() && *c.order > 0);
  }
}

using V = UpdateGate::Verdict;

TEST(UpdateGate, TakesOnlyNewerVersionsAndNoneItRefusedBefore) {
  UpdateGate gate("0.216");
  // Older, equal as numbers, or not a version: refused, and remembered as refused.
  for (const char* offered : {"0.100", "0.216.0", "0.0216", "0.217-beta"}) {
    SCOPED_TRACE(offered);
    EXPECT_EQ(gate.Check(offered, "0.216"), V::kNotNewer);
    EXPECT_EQ(gate.Check(offered, "0.216"), V::kRefusedBefore);
  }
  // A newer one passes until its update fails; then only a still newer one passes.
  EXPECT_EQ(gate.Check("0.217", "0.216"), V::kFetch);
  EXPECT_EQ(gate.Check("0.217", "0.216"), V::kFetch);  // asking twice changes nothing
  gate.Record("0.217", SelfUpdateResult::kSignatureRefused);
  EXPECT_EQ(gate.Check("0.217", "0.216"), V::kRefusedBefore);
  EXPECT_EQ(gate.Check("0.218", "0.216"), V::kFetch);
  gate.Record("0.218", SelfUpdateResult::kLaunched);
  // Once an installer has started, nothing more in this run.
  EXPECT_EQ(gate.Check("0.219", "0.216"), V::kDone);
}

TEST(UpdateGate, ComparesWithTheBuiltVersionWhenTheRecordedOneIsNoVersion) {
  UpdateGate gate("0.216");
  struct Case {
    const char* recorded;
    const char* offered;
    V verdict;
  } cases[] = {
      {"", "0.217", V::kFetch},           {"", "0.215", V::kNotNewer},   {"garbage", "0.300", V::kFetch},
      {"garbage", "0.216", V::kNotNewer}, {"0.100", "0.150", V::kFetch},  // a recorded version is what counts
      {"0.300", "0.250", V::kNotNewer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.recorded) + " / " + c.offered);
    EXPECT_EQ(gate.Check(c.offered, c.recorded), c.verdict);
  }
  EXPECT_EQ(gate.CurrentVersion(""), "0.216");
  EXPECT_EQ(gate.CurrentVersion("0.300"), "0.300");
}

TEST(UpdateGate, RemembersOnlyTheLatestRefusals) {
  UpdateGate gate("0.216");
  const std::size_t n = UpdateGate::kRememberedRefusals + 1;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string version = "0.3" + std::to_string(10 + i);
    ASSERT_EQ(gate.Check(version, "0.216"), V::kFetch);
    gate.Record(version, SelfUpdateResult::kDownloadFailed);
  }
  // The oldest refusal made room for the newest; the others are still refused.
  EXPECT_EQ(gate.Check("0.310", "0.216"), V::kFetch);
  for (std::size_t i = 1; i < n; ++i) {
    EXPECT_EQ(gate.Check("0.3" + std::to_string(10 + i), "0.216"), V::kRefusedBefore) << i;
  }
}

}  // namespace
