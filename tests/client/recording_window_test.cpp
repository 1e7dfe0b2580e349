#include "client/recording_window.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "core/control_ids.h"
#include "core/log_pane_rule.h"

TEST(RecordingWindowPane, AppendsUnderTheFourThousandCharacterRule) {
  struct Case {
    const char* what;
    std::size_t before;  // characters already in the pane
    std::size_t appended;
    std::size_t after;
    bool keepsOld;
  } cases[] = {
      {"empty pane", 0, 89, 89, true},
      {"exactly at the limit keeps and grows", 4096, 89, 4185, true},
      {"one past the limit empties first", 4097, 89, 89, false},
      {"the appended text is never cut", 4097, 5000, 5000, false},
      {"a long text into a kept pane", 4000, 5000, 9000, true},
      {"an empty text to a full pane empties it", 4097, 0, 0, false},
      {"an empty text at the limit changes nothing", 4096, 0, 4096, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingWindow window;
    const std::string old(c.before, 'o');
    const std::string text(c.appended, 'n');
    window.SetPaneText(LogPane::kMining, old);
    window.AppendToPane(LogPane::kMining, text.c_str());
    const std::string pane = window.Pane(LogPane::kMining);
    EXPECT_EQ(pane.size(), c.after);
    EXPECT_EQ(pane, (c.keepsOld ? old : std::string()) + text);
  }
}

TEST(RecordingWindowPane, GrowsPastTheLimitOnceThenStartsOver) {
  RecordingWindow window;
  window.SetPaneText(LogPane::kEvent, std::string(4096, 'a'));
  window.AppendToPane(LogPane::kEvent, "Server Disconnected...\r\n");
  EXPECT_EQ(window.Pane(LogPane::kEvent).size(), 4096u + 24u);
  window.AppendToPane(LogPane::kEvent, "Initialize..\r\n");
  EXPECT_EQ(window.Pane(LogPane::kEvent), "Initialize..\r\n");
}

TEST(RecordingWindowPane, PanesAreKeptApart) {
  RecordingWindow window;
  window.SetPaneText(LogPane::kEvent, std::string(5000, 'e'));
  window.AppendToPane(LogPane::kMining, "mined\r\n");
  window.AppendToPane(LogPane::kEvent, "event\r\n");
  EXPECT_EQ(window.Pane(LogPane::kMining), "mined\r\n");
  EXPECT_EQ(window.Pane(LogPane::kEvent), "event\r\n");
  const auto operations = window.Operations();
  ASSERT_EQ(operations.size(), 2u);
  EXPECT_EQ(operations[0].controlId, kIdMiningLog);
  EXPECT_EQ(operations[1].controlId, kIdEventLog);
  EXPECT_EQ(operations[1].text, "event\r\n");
}

TEST(RecordingWindowPane, MiningBlocksEmptyThePaneEveryFortySevenAppends) {
  // 89-character blocks: the 47th is appended to 46 x 89 = 4094 characters, which is
  // not past the limit; the 48th finds 4183 and starts over.
  RecordingWindow window;
  const std::string block(89, 'b');
  for (int i = 0; i < 47; ++i) window.AppendToPane(LogPane::kMining, block.c_str());
  EXPECT_EQ(window.Pane(LogPane::kMining).size(), 47u * 89u);
  window.AppendToPane(LogPane::kMining, block.c_str());
  EXPECT_EQ(window.Pane(LogPane::kMining).size(), 89u);
}

TEST(RecordingWindow, KeepsTextsChecksAndRadioState) {
  RecordingWindow window;
  EXPECT_EQ(window.Text(kIdSerialNo), "");
  EXPECT_FALSE(window.HasText(kIdSerialNo));
  EXPECT_EQ(window.CheckedRadio(), -1);

  window.SetControlText(kIdSerialNo, "SN-1");
  window.SetControlText(kIdSerialNo, "SN-2");
  window.SetCheck(kIdAutoCharge, 1);
  window.CheckRadio(kIdTargetKest, kIdTargetAll, 3);
  EXPECT_EQ(window.Text(kIdSerialNo), "SN-2");
  EXPECT_EQ(window.Check(kIdAutoCharge), 1);
  EXPECT_EQ(window.CheckedRadio(), 1044);

  window.CheckRadio(kIdTargetKest, kIdTargetAll, 0);
  EXPECT_EQ(window.CheckedRadio(), kIdTargetKest);
  EXPECT_EQ(window.Check(1044), 0);
  window.CheckRadio(kIdTargetKest, kIdTargetAll, 5);
  EXPECT_EQ(window.CheckedRadio(), -1);

  const auto count = window.Count();
  EXPECT_EQ(count.texts, 2u);
  EXPECT_EQ(count.checks, 1u);
  EXPECT_EQ(count.radios, 3u);
  EXPECT_EQ(count.appends, 0u);

  const auto operations = window.Operations();
  ASSERT_EQ(operations.size(), 6u);
  EXPECT_EQ(operations[0].kind, RecordingWindow::OpKind::kSetText);
  EXPECT_EQ(operations[0].text, "SN-1");
  EXPECT_EQ(operations[2].kind, RecordingWindow::OpKind::kSetCheck);
  EXPECT_EQ(operations[3].kind, RecordingWindow::OpKind::kCheckRadio);
  EXPECT_EQ(operations[3].value, 3);

  window.ClearOperations();
  EXPECT_TRUE(window.Operations().empty());
  EXPECT_EQ(window.Text(kIdSerialNo), "SN-2");  // state outlives the list
}

TEST(RecordingWindow, ShowDashboardCountsAndCanSkipTheList) {
  RecordingWindow window;
  window.SetRecordOperations(false);
  DashboardView view;
  for (int i = 0; i < kDashboardTextFields; ++i) view.fields[i].controlId = 2000 + i;
  view.targetCoinPosition = 4;
  view.fields[0].text[0] = 'z';
  window.ShowDashboard(view);
  EXPECT_TRUE(window.Operations().empty());
  EXPECT_EQ(window.Text(2000), "z");
  EXPECT_EQ(window.CheckedRadio(), kIdTargetAll);
  const auto count = window.Count();
  EXPECT_EQ(count.dashboards, 1u);
  EXPECT_EQ(count.texts, static_cast<std::size_t>(kDashboardTextFields) + 1u);
}

TEST(RecordingWindow, TwoThreadsWritingAtOnceLoseNothing) {
  RecordingWindow window;
  DashboardView view;
  for (DashboardField& field : view.fields) field.controlId = 1;
  std::thread worker([&] {
    for (int i = 0; i < 2000; ++i) {
      window.ShowDashboard(view);
      window.AppendToPane(LogPane::kMining, "m");
    }
  });
  for (int i = 0; i < 2000; ++i) {
    window.AppendToPane(LogPane::kEvent, "e");
    window.SetControlText(kIdStartStop, "Stop");
    (void)window.Text(1);
  }
  worker.join();
  const auto count = window.Count();
  EXPECT_EQ(count.appends, 4000u);
  EXPECT_EQ(count.dashboards, 2000u);
  // Each dashboard is 48 operations plus the worker's append; the main thread adds two.
  EXPECT_EQ(window.Operations().size(), 2000u * (48u + 1u) + 2000u * 2u);
  // 2000 one-character appends stay below the limit, so every one of them is there.
  EXPECT_EQ(window.Pane(LogPane::kEvent), std::string(2000, 'e'));
}
