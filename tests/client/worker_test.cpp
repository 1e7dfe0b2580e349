// The mining worker: what one pass does at a given clock reading, and how the thread
// starts and stops.
#include <gtest/gtest.h>

#include <chrono>

#include "client/miner_core.h"
#include "client/recording_window.h"
#include "support/fixed_clock.h"
#include "support/sandbox.h"
#include "support/scripted_random.h"

namespace {

constexpr int kGateClosed = 4;  // a draw with draw % 40 > 3 stops a report at its gate

struct WorkerFixture : ::testing::Test {
  Sandbox box;
  FixedClock clock{12, 4, 7, 2};
  ScriptedRandom random{kGateClosed};
  RecordingDebugOutput debug;
  RecordingWindow window;
  ClientEnvironment env;

  void SetUp() override {
    env.installDir = box.Path();
    env.tempDir = box.Dir();
    env.serviceRoot = "http://127.0.0.1:9";  // nothing is ever sent in these tests
    env.patchRoot = env.serviceRoot;
    env.clock = &clock;
    env.random = &random;
    env.debug = &debug;
    env.macText = [] { return std::string("00-1A-2B-3C-4D-5E"); };
    env.closingPause = std::chrono::milliseconds(0);
  }

  size_t MiningBlocks() {
    const std::string pane = window.Pane(LogPane::kMining);
    size_t n = 0;
    for (size_t at = pane.find("Mining complete"); at != std::string::npos;
         at = pane.find("Mining complete", at + 1)) {
      ++n;
    }
    return n;
  }
};

}  // namespace

TEST_F(WorkerFixture, PassDependsOnSwitchMinuteAndMillisecond) {
  struct Case {
    int onOff, minute, second, ms;
    bool reports, mines;
  } cases[] = {
      {1, 3, 7, 2, true, false},  {1, 3, 7, 0, true, false},   {1, 57, 0, 4, true, false},
      {1, 3, 7, 5, false, true},  {1, 4, 7, 2, false, true},   {1, 0, 59, 999, false, true},
      {0, 3, 7, 2, false, false}, {2, 4, 7, 50, false, false}, {-1, 4, 7, 50, false, false},
  };
  for (const Case& c : cases) {
    MinerCore core(env, window);
    core.WithState([&](MachineState& s) { s.onOff = c.onOff; });
    clock.SetLocalTime(12, c.minute, c.second, c.ms);
    const size_t drawsBefore = random.DrawCount();
    const size_t blocksBefore = MiningBlocks();
    core.WorkerPass();
    const size_t draws = random.DrawCount() - drawsBefore;
    SCOPED_TRACE(testing::Message() << "onOff " << c.onOff << " at :" << c.minute << ":" << c.second << "."
                                    << c.ms);
    // A report that stops at its gate draws once; a mining step draws 33 times.
    EXPECT_EQ(draws, c.reports ? 1u : c.mines ? 33u : 0u);
    EXPECT_EQ(MiningBlocks() - blocksBefore, c.mines ? 1u : 0u);
  }
  EXPECT_TRUE(debug.Texts().empty());  // no report passed its gate
}

TEST_F(WorkerFixture, MillisecondHundredMovesTheGainBeforeTheStep) {
  MinerCore core(env, window);
  core.WithState([](MachineState& s) {
    s.onOff = 1;
    s.exp = 500;
    s.expGain = 12;
    s.currentSecond = 7;  // the step stays in the same second, so it sets no new gain
  });
  clock.SetLocalTime(12, 4, 7, 100);
  core.WorkerPass();
  MachineState s = core.Snapshot();
  EXPECT_EQ(s.exp, 512);
  EXPECT_EQ(s.expGain, 0);
  EXPECT_EQ(MiningBlocks(), 1u);
  EXPECT_EQ(window.Text(kIdExp), "512");

  // A second pass at millisecond 100 moves nothing more.
  core.WorkerPass();
  EXPECT_EQ(core.Snapshot().exp, 512);

  // The addition wraps instead of overflowing.
  core.WithState([](MachineState& st) {
    st.exp = 2147483647;
    st.expGain = 1;
  });
  core.WorkerPass();
  EXPECT_EQ(core.Snapshot().exp, -2147483647 - 1);
}

TEST_F(WorkerFixture, ThreadRunsPassesUntilStoppedAndStartsOnlyOnce) {
  MinerCore core(env, window);
  core.WithState([](MachineState& s) { s.onOff = 1; });
  core.StartWorker();
  EXPECT_TRUE(core.Running());
  core.StartWorker();  // a second start changes nothing
  ASSERT_TRUE(WaitUntil([&] { return MiningBlocks() >= 3; }));

  auto t0 = std::chrono::steady_clock::now();
  core.Stop();
  auto stopTook = std::chrono::steady_clock::now() - t0;
  EXPECT_FALSE(core.Running());
  EXPECT_LT(stopTook, std::chrono::milliseconds(200));
  const size_t draws = random.DrawCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(random.DrawCount(), draws);  // nothing runs after the stop
  core.Stop();                           // a second stop is harmless
}

TEST_F(WorkerFixture, IdleWorkerStopsAtOnceAndSwitchingOnTakesEffectNextPass) {
  MinerCore core(env, window);
  core.StartWorker();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(random.DrawCount(), 0u);  // idle passes draw nothing
  core.WithState([](MachineState& s) { s.onOff = 1; });
  EXPECT_TRUE(WaitUntil([&] { return MiningBlocks() >= 1; }));
  core.Stop();
}

TEST_F(WorkerFixture, StopWithoutStartOnlyClearsTheFlag) {
  MinerCore core(env, window);
  core.Stop();
  EXPECT_FALSE(core.Running());
}
