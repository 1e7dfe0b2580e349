#include "mining/mining_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "support/allocation_counter.h"
#include "support/scripted_random.h"

namespace {

std::string Block(uint32_t tick, double amount, RandomSource& random) {
  char block[kMiningBlockSize];
  std::memset(block, 'x', sizeof block);
  FormatMiningBlock(block, tick, amount, random);
  return std::string(block);
}

std::string AmountText(double amount) {
  ScriptedRandom random;
  std::string block = Block(1, amount, random);
  std::size_t start = block.find(") ") + 2;
  return block.substr(start, block.find(" KEST") - start);
}

}  // namespace

// Worked by hand: amount = level x 0.000001 + (draw mod 1000) / 5000000 + holding x 1e-8 + boost.
TEST(AdvanceMining, AmountFromLevelDrawHoldingAndBoost) {
  struct Case {
    const char* what;
    int32_t level;
    double machineKest;
    double boost;
    int draw;
    double amount;
    double boostAfter;
    double machineKestAfter;
    const char* logged;
  } cases[] = {
      {"level 1, r 41", 1, 0, 0, 41, 0.0000092, 0, 0.0000092, "0.000009"},
      {"holding 1000 adds 1000 x 1e-8", 1, 1000, 0, 41, 0.0000192, 0, 1000.0000192, "0.000019"},
      {"nothing at all", 0, 0, 0, 0, 0, 0, 0, "0.000000"},
      {"only r mod 1000 counts", 0, 0, 0, 1999, 0.0001998, 0, 0.0001998, "0.000200"},
      {"largest draw", 0, 0, 0, 32767, 0.0001534, 0, 0.0001534, "0.000153"},
      {"boost above 1 is dropped", 2, 0, 1.5, 0, 0.000002, 0, 0.000002, "0.000002"},
      {"boost just above 1 is dropped", 0, 0, 1.0000001, 0, 0, 0, 0, "0.000000"},
      {"boost of exactly 1 is added in full", 0, 0, 1.0, 0, 1.0, 1.0, 1.0, "1.000000"},
      {"a negative boost is subtracted", 1, 0, -0.25, 41, -0.2499908, -0.25, -0.2499908, "-0.249991"},
      {"a negative level", -3, 0, 0, 0, -0.000003, 0, -0.000003, "-0.000003"},
      {"a boost that is no number is dropped", 2, 0, std::nan(""), 0, 0.000002, 0, 0.000002, "0.000002"},
      {"a boost of minus infinity is dropped", 2, 0, -HUGE_VAL, 0, 0.000002, 0, 0.000002, "0.000002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineState s;
    s.level = c.level;
    s.machineKest = c.machineKest;
    s.boost = c.boost;
    const double e = AdvanceMining(s, 0, c.draw);
    EXPECT_NEAR(e, c.amount, 1e-15);
    EXPECT_EQ(s.boost, c.boostAfter);
    EXPECT_NEAR(s.machineKest, c.machineKestAfter, 1e-12);
    EXPECT_EQ(AmountText(e), c.logged);
  }
}

TEST(AdvanceMining, HoldingAndBoostAreReadBeforeTheStepChangesThem) {
  MachineState s;
  s.machineKest = 1000;
  s.boost = 1.0;
  const double first = AdvanceMining(s, 0, 0);
  EXPECT_NEAR(first, 1.00001, 1e-12);  // 1000 x 1e-8 + 1
  // The second step sees the grown holding; the boost stays until a reply replaces it.
  const double second = AdvanceMining(s, 0, 0);
  EXPECT_NEAR(second, 1.0000100100001, 1e-12);  // 1001.00001 x 1e-8 + 1
  EXPECT_EQ(s.boost, 1.0);
  EXPECT_NEAR(s.machineKest, 1002.0000200100001, 1e-9);
}

// Each step's amount here is 0.0000092 (level 1, draw 41); the second has not changed, so
// the site's per-second figures come from the total of the second before, 0.002.
TEST(AdvanceMining, SiteFiguresMoveAsIfEveryActiveMachineMined) {
  struct Case {
    int32_t machines;
    double buriedKest;
    double totalKestMining;
    double mkps;
    double mkph;
  } cases[] = {
      {0, 100, 50, 0, 7},
      {1, 99.9999908, 50.0000092, 0.002, 7.002},
      {3, 99.9999724, 50.0000276, 0.006, 7.018},
      {-2, 100.0000184, 49.9999816, -0.004, 7.008},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machines);
    MachineState s;
    s.activeMachines = c.machines;
    s.level = 1;
    s.buriedKest = 100;
    s.totalKestMining = 50;
    s.mkph = 7;
    s.mkps = 5;
    s.lastSecondTotal = 0.002;
    s.currentSecond = 9;
    EXPECT_NEAR(AdvanceMining(s, 9, 41), 0.0000092, 1e-15);
    EXPECT_NEAR(s.buriedKest, c.buriedKest, 1e-12);
    EXPECT_NEAR(s.totalKestMining, c.totalKestMining, 1e-12);
    EXPECT_NEAR(s.mkps, c.mkps, 1e-15);
    EXPECT_NEAR(s.mkph, c.mkph, 1e-12);
  }
}

TEST(AdvanceMining, NoActiveMachinesLeavesTheSiteAsItWas) {
  MachineState s;
  s.buriedKest = 100;
  s.totalKestMining = 50;
  s.mkph = 7;
  s.mkps = 5;
  s.lastSecondTotal = 0.002;
  s.boost = -0.5;  // a negative step must not move the site either
  AdvanceMining(s, 0, 500);
  EXPECT_EQ(s.buriedKest, 100);
  EXPECT_EQ(s.totalKestMining, 50);
  EXPECT_EQ(s.mkph, 7);
  EXPECT_EQ(s.mkps, 0);
}

TEST(AdvanceMining, NewSecondTurnsTheTotalBeforeTheLastIntoExperience) {
  struct Case {
    double lastSecondTotal;
    int32_t expGain;
  } cases[] = {
      {0.0123456, 12},
      {-0.0015, -1},
      {0.0009999, 0},
      {2147483.6469, 2147483646},
      {1e7, INT32_MIN},  // x 1000 does not fit 32 bits
      {-1e7, INT32_MIN},
      {std::numeric_limits<double>::infinity(), INT32_MIN},
      {std::nan(""), INT32_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastSecondTotal);
    MachineState s;
    s.currentSecond = 4;
    s.currentSecondTotal = 0.3;
    s.lastSecondTotal = c.lastSecondTotal;
    s.mkps = 99;
    s.activeMachines = 2;
    const double e = AdvanceMining(s, 5, 41);
    EXPECT_NEAR(e, 0.0000082, 1e-15);  // 41 / 5000000
    EXPECT_EQ(s.expGain, c.expGain);
    EXPECT_EQ(s.lastSecondTotal, 0.3);
    EXPECT_EQ(s.miningPerSec, 0.3);
    EXPECT_DOUBLE_EQ(s.mkps, 0.6);
    EXPECT_EQ(s.currentSecond, 5);
    EXPECT_EQ(s.currentSecondTotal, e);
  }
}

TEST(AdvanceMining, StepsOfOneSecondAddUpWithoutTouchingThePreviousTotal) {
  MachineState s;
  s.currentSecond = 12;
  s.currentSecondTotal = 0.01;
  s.lastSecondTotal = 0.02;
  s.miningPerSec = 0.02;
  s.mkps = 0.04;
  s.activeMachines = 2;
  s.expGain = 77;
  const double first = AdvanceMining(s, 12, 100);
  const double second = AdvanceMining(s, 12, 200);
  EXPECT_NEAR(first, 0.00002, 1e-15);           // 100 / 5000000
  EXPECT_NEAR(second, 0.0000400000002, 1e-15);  // 200 / 5000000 + 0.00002 x 1e-8
  EXPECT_NEAR(s.currentSecondTotal, 0.0100600000002, 1e-15);
  EXPECT_EQ(s.lastSecondTotal, 0.02);
  EXPECT_EQ(s.miningPerSec, 0.02);
  EXPECT_EQ(s.mkps, 0.04);
  EXPECT_EQ(s.expGain, 77);  // only a new second recomputes it
  EXPECT_EQ(s.currentSecond, 12);
}

TEST(AdvanceMining, FirstStepOfARunInSecondZeroContinuesTheZeroTotal) {
  struct Case {
    int second;
    int32_t expGainAfter;
  } cases[] = {
      {0, 5},   // same second as the zeroed record: no new second, expGain untouched
      {17, 0},  // a new second: expGain from the zero total
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second);
    MachineState s;
    s.level = 1;
    s.expGain = 5;
    const double e = AdvanceMining(s, c.second, 41);
    EXPECT_NEAR(e, 0.0000092, 1e-15);
    EXPECT_EQ(s.expGain, c.expGainAfter);
    EXPECT_EQ(s.currentSecond, c.second);
    EXPECT_EQ(s.currentSecondTotal, e);
    EXPECT_EQ(s.lastSecondTotal, 0);
    EXPECT_EQ(s.miningPerSec, 0);
  }
}

TEST(AdvanceMining, SecondsAreKnownOnlyByTheirNumber) {
  // After a pause of whole minutes the same second number continues its old total.
  MachineState s;
  s.currentSecond = 30;
  s.currentSecondTotal = 0.01;
  s.lastSecondTotal = 0.5;
  s.level = 2;
  AdvanceMining(s, 30, 0);  // 0.000002
  EXPECT_NEAR(s.currentSecondTotal, 0.010002, 1e-15);
  EXPECT_EQ(s.lastSecondTotal, 0.5);
}

TEST(AdvanceMining, ExperienceLagsOneSecondBehindTheSecondThatEnded) {
  MachineState s;
  s.boost = 0.0043;
  AdvanceMining(s, 1, 0);  // second 1: two steps of about 0.0043
  AdvanceMining(s, 1, 0);
  EXPECT_EQ(s.expGain, 0);
  AdvanceMining(s, 2, 0);   // second 2: one step
  EXPECT_EQ(s.expGain, 0);  // the total before second 1 was 0
  EXPECT_NEAR(s.lastSecondTotal, 0.0086, 1e-9);
  AdvanceMining(s, 3, 0);
  EXPECT_EQ(s.expGain, 8);  // second 1's total x 1000
  EXPECT_NEAR(s.lastSecondTotal, 0.0043, 1e-9);
  EXPECT_NEAR(s.miningPerSec, 0.0043, 1e-9);
}

TEST(FormatMiningBlock, TypicalBlockIs89Characters) {
  ScriptedRandom random;
  for (int i = 0; i < 32; ++i) random.Queue({i});
  const std::string block = Block(12345678, 0.0000092, random);
  EXPECT_EQ(block,
            "(12345678) 0.000009 KEST - Mining complete\r\n"
            " Hash : QXx0123456789ABCDEFGHIJKLMNOPQRSTUV\r\n");
  EXPECT_EQ(block.size(), 89u);
  EXPECT_EQ(random.DrawCount(), 32u);
}

TEST(FormatMiningBlock, HashCharacterIsTheDrawModulo36) {
  struct Case {
    int draw;
    char character;
  } cases[] = {
      {0, '0'},  {9, '9'},  {10, 'A'}, {35, 'Z'},    {36, '0'},
      {37, '1'}, {71, 'Z'}, {72, '0'}, {32767, '7'}, {32760, '0'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.draw);
    ScriptedRandom random(c.draw);
    const std::string block = Block(0, 0, random);
    EXPECT_EQ(block.substr(block.find("QXx") + 3), std::string(32, c.character) + "\r\n");
  }
}

TEST(FormatMiningBlock, HashFollowsTheDrawOrder) {
  ScriptedRandom random;
  random.Queue({36 + 10, 1, 2, 3 + 72, 35});
  const std::string block = Block(0, 0, random);
  EXPECT_EQ(block.substr(block.find("QXx") + 3, 32), "A123Z" + std::string(27, '0'));
}

TEST(FormatMiningBlock, DrawOutsideTheGeneratorRangeStaysInTheAlphabet) {
  const char* alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int draw : {-1, -35, -36, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
    SCOPED_TRACE(draw);
    ScriptedRandom random(draw);
    const std::string block = Block(0, 0, random);
    const std::string hash = block.substr(block.find("QXx") + 3, 32);
    ASSERT_EQ(hash.size(), 32u);
    EXPECT_EQ(hash.find_first_not_of(alphabet), std::string::npos) << hash;
  }
}

TEST(FormatMiningBlock, TickCountPrintsAsSigned32Bit) {
  struct Case {
    uint32_t tick;
    const char* prefix;
  } cases[] = {
      {0u, "(0) "},
      {2147483647u, "(2147483647) "},
      {2147483648u, "(-2147483648) "},
      {2147483649u, "(-2147483647) "},
      {0xFFFFFFFFu, "(-1) "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tick);
    ScriptedRandom random;
    const std::string block = Block(c.tick, 0, random);
    EXPECT_EQ(block.rfind(c.prefix, 0), 0u) << block;
  }
}

TEST(FormatMiningBlock, LongestAmountsStillFitWhole) {
  for (double amount : {-std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                        -std::numeric_limits<double>::infinity(), std::nan("")}) {
    SCOPED_TRACE(amount);
    ScriptedRandom random(35);
    const std::string block = Block(0x80000000u, amount, random);
    EXPECT_LT(block.size(), kMiningBlockSize);
    EXPECT_EQ(block.rfind("(-2147483648) ", 0), 0u);
    const std::string tail = " KEST - Mining complete\r\n Hash : QXx" + std::string(32, 'Z') + "\r\n";
    ASSERT_GE(block.size(), tail.size());
    EXPECT_EQ(block.substr(block.size() - tail.size()), tail);
  }
}

TEST(MiningStepComposition, OneStepDraws33ValuesAmountFirst) {
  // What the worker does per step: the amount's draw, then the hash's 32.
  ScriptedRandom random;
  random.Queue({41});
  for (int i = 0; i < 32; ++i) random.Queue({35 - i});
  MachineState s;
  s.level = 1;
  const double e = AdvanceMining(s, 7, random.Draw());
  char block[kMiningBlockSize];
  FormatMiningBlock(block, 99, e, random);
  EXPECT_STREQ(block,
               "(99) 0.000009 KEST - Mining complete\r\n"
               " Hash : QXxZYXWVUTSRQPONMLKJIHGFEDCBA987654\r\n");
  EXPECT_EQ(random.DrawCount(), 33u);
  EXPECT_EQ(random.Queued(), 0u);
}

TEST(MiningStepComposition, AllocatesNothing) {
  MachineState s;
  s.level = 3;
  s.activeMachines = 4;
  ScriptedRandom random(1234);
  char block[kMiningBlockSize];
  std::size_t allocations = 0;
  {
    AllocationScope scope;
    for (int i = 0; i < 100; ++i) {
      const double e = AdvanceMining(s, i % 60, 500);
      FormatMiningBlock(block, 0xFFFFFFF0u + static_cast<uint32_t>(i), e, random);
    }
    allocations = scope.Allocations();
  }
  EXPECT_EQ(allocations, 0u);
  EXPECT_GT(s.machineKest, 0);
}

TEST(MiningStepComposition, AllocationCounterSeesAnAllocation) {
  // Guards the check above: the counter must notice a hot path that allocates.
  std::size_t allocations = 0;
  {
    AllocationScope scope;
    void* p = ::operator new(200);  // a direct call, which the compiler may not elide
    allocations = scope.Allocations();
    ::operator delete(p);
  }
  EXPECT_GE(allocations, 1u);
}
