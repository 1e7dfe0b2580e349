// The window's edge without a window: code page 949 conversion, and the delivery of
// control operations from the worker to the window's thread.
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/log_pane_rule.h"
#include "dashboard/dashboard_render.h"
#include "fake_session.h"
#include "ui/common/control_delivery.h"
#include "ui/qt/cp949_text.h"

namespace {

// Keeps what the window would show; the panes as code page 949 bytes.
class RecordingSink final : public ControlSink {
 public:
  void ApplyText(int controlId, std::string_view text) override {
    if (onText) onText();
    texts[controlId] = std::string(text);
    textOrder.push_back(controlId);
  }
  void ApplyCheck(int controlId, int state) override { checks[controlId] = state; }
  void ApplyRadio(int firstId, int, int position) override { radios[firstId] = position; }
  void ApplyPaneText(LogPane pane, bool clearFirst, std::string_view text) override {
    std::string& content = Pane(pane);
    if (clearFirst) content.clear();
    content.append(text);
  }
  std::string& Pane(LogPane pane) { return panes[pane == LogPane::kMining ? 0 : 1]; }
  int TextCount(int controlId) const {
    return static_cast<int>(std::count(textOrder.begin(), textOrder.end(), controlId));
  }

  std::map<int, std::string> texts;
  std::vector<int> textOrder;
  std::map<int, int> checks;
  std::map<int, int> radios;
  std::string panes[2];
  std::function<void()> onText;
};

std::string Letters(std::size_t length, int seed) {
  std::string s(length, 'a');
  for (std::size_t i = 0; i < length; ++i) s[i] = static_cast<char>('a' + (seed + i) % 26);
  return s;
}

DashboardView ViewWithExp(int exp) {
  MachineState state = FakeSession::SampleRecord();
  state.exp = exp;
  DashboardView view;
  RenderDashboard(state, view);
  return view;
}

// Runs `work` on a thread of its own, as the mining worker would, and waits for it.
template <class F>
void OnWorker(F&& work) {
  std::thread worker(std::forward<F>(work));
  worker.join();
}

}  // namespace

class WindowTextTest : public QObject {
  Q_OBJECT

 private slots:
  void convertsCodePage949_data();
  void convertsCodePage949();
  void convertsBackAndCountsLikeThePaneRule();

  void paneNetEffectFollowsTheRule_data();
  void paneNetEffectFollowsTheRule();
  void paneFollowsTheRuleUnderConcurrentFrames();
  void userEditsRebaseThePane();

  void newestViewReplacesOneNotShown();
  void otherOperationsKeepTheirOrderAroundViews();
  void windowThreadCallsApplyPendingFirstAndAtOnce();
  void callsWithoutAWindowAreDropped();
  void workerNeverWaitsForABusyWindow();
};

void WindowTextTest::convertsCodePage949_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("expected");
  QTest::newRow("ascii") << QByteArray("480 / 500 gas") << QStringLiteral("480 / 500 gas");
  QTest::newRow("degree sign") << QByteArray("12.500000 \xA1\xC6") << QString::fromUtf8("12.500000 °");
  QTest::newRow("korean") << QByteArray("\xC8\xAD\xBC\xBA-7") << QString::fromUtf8("화성-7");
  QTest::newRow("invalid byte") << QByteArray(
                                       "a\xFF"
                                       "b")
                                << QStringLiteral("a") + QChar(0xFFFD) + QStringLiteral("b");
  QTest::newRow("cut lead byte") << QByteArray("ab\xC8") << QStringLiteral("ab") + QChar(0xFFFD);
  QTest::newRow("empty") << QByteArray() << QString();
}

void WindowTextTest::convertsCodePage949() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, expected);
  Cp949Text text;
  QCOMPARE(text.ToUnicode(std::string_view(bytes.constData(), bytes.size())), expected);
}

void WindowTextTest::convertsBackAndCountsLikeThePaneRule() {
  Cp949Text text;
  QCOMPARE(text.FromUnicode(QString::fromUtf8("화성 12.5°")), std::string("\xC8\xAD\xBC\xBA 12.5\xA1\xC6"));
  // A character outside the code page is one '?', a surrogate pair included.
  QCOMPARE(text.FromUnicode(QString::fromUtf8("a😀b")), std::string("a?b"));
  // Line breaks count as the CR LF they stand for; a Korean letter as its two bytes.
  QCOMPARE(text.ClientLength(QString::fromUtf8("a\nb°")), std::size_t{6});
  QCOMPARE(text.ClientLength(QStringLiteral("Initialize..\nDownloading..\n")), std::size_t{29});
  QCOMPARE(PaneLineBreaks(QStringLiteral("x\r\ny\rz\n")), QStringLiteral("x\ny\nz\n"));
}

void WindowTextTest::paneNetEffectFollowsTheRule_data() {
  QTest::addColumn<int>("initialLength");
  QTest::addColumn<QList<int>>("appendLengths");
  QTest::addColumn<int>("appendsPerFrame");  // 0: one frame after all appends

  QTest::newRow("below the limit") << 0 << QList<int>{10, 20, 30} << 0;
  QTest::newRow("exactly 4096 keeps, then resets") << 4096 << QList<int>{5, 5} << 0;
  QTest::newRow("over the limit resets first") << 4097 << QList<int>{5} << 0;
  QTest::newRow("empty append empties a full pane") << 5000 << QList<int>{0} << 0;
  QTest::newRow("reset phase depends on the start") << 100 << QList<int>(5, 4000) << 0;
  QTest::newRow("same texts from an empty pane") << 0 << QList<int>(5, 4000) << 0;
  QTest::newRow("one text longer than the limit") << 3000 << QList<int>{10000, 1, 1} << 0;
  QTest::newRow("many blocks in one frame") << 0 << QList<int>(2000, 89) << 0;
  QTest::newRow("many blocks, a frame every 7") << 0 << QList<int>(2000, 89) << 7;
  QTest::newRow("growing texts, a frame every 3")
      << 4000 << QList<int>{1, 50, 100, 4000, 2, 3, 5000, 0, 7} << 3;
}

void WindowTextTest::paneNetEffectFollowsTheRule() {
  QFETCH(int, initialLength);
  QFETCH(QList<int>, appendLengths);
  QFETCH(int, appendsPerFrame);

  RecordingSink sink;
  ControlDelivery delivery;
  std::string expected = Letters(static_cast<std::size_t>(initialLength), 0);
  sink.Pane(LogPane::kMining) = expected;
  delivery.Attach(&sink, static_cast<std::size_t>(initialLength), 0);

  std::vector<std::string> texts;
  for (int i = 0; i < appendLengths.size(); ++i) {
    texts.push_back(Letters(static_cast<std::size_t>(appendLengths[i]), i + 1));
    AppendUnderPaneRule(expected, texts.back());
  }
  const std::size_t chunk = appendsPerFrame > 0 ? appendsPerFrame : texts.size();
  std::size_t largestPending = 0;
  for (std::size_t from = 0; from < texts.size(); from += chunk) {
    OnWorker([&] {
      for (std::size_t i = from; i < std::min(texts.size(), from + chunk); ++i) {
        delivery.AppendToPane(LogPane::kMining, texts[i].c_str());
        largestPending = std::max(largestPending, delivery.PendingPaneBytes(LogPane::kMining));
      }
    });
    delivery.ApplyPending();
  }
  QCOMPARE(sink.Pane(LogPane::kMining).size(), expected.size());
  QVERIFY(sink.Pane(LogPane::kMining) == expected);
  QVERIFY(sink.Pane(LogPane::kEvent).empty());
  // The store never keeps more than the pane can end up holding.
  const int longest =
      appendLengths.isEmpty() ? 0 : *std::max_element(appendLengths.begin(), appendLengths.end());
  QVERIFY(largestPending <= kPaneLimit + static_cast<std::size_t>(longest));
}

void WindowTextTest::paneFollowsTheRuleUnderConcurrentFrames() {
  // The worker publishes while the window's thread applies frames at its own pace;
  // whatever the interleaving, the pane ends exactly as the rule says.
  RecordingSink sink;
  ControlDelivery delivery;
  delivery.Attach(&sink, 0, 0);
  std::string expectedMining;
  std::string expectedEvent;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    std::mt19937 gen(216);
    std::uniform_int_distribution<int> length(0, 300);
    std::uniform_int_distribution<int> which(0, 9);
    for (int i = 0; i < 30000; ++i) {
      const std::string text = Letters(static_cast<std::size_t>(length(gen)), i);
      if (which(gen) == 0) {
        delivery.AppendToPane(LogPane::kEvent, text.c_str());
        AppendUnderPaneRule(expectedEvent, text);
      } else {
        delivery.AppendToPane(LogPane::kMining, text.c_str());
        AppendUnderPaneRule(expectedMining, text);
      }
    }
    done = true;
  });
  while (!done) {
    delivery.ApplyPending();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  worker.join();
  delivery.ApplyPending();
  QVERIFY(sink.Pane(LogPane::kMining) == expectedMining);
  QVERIFY(sink.Pane(LogPane::kEvent) == expectedEvent);
}

void WindowTextTest::userEditsRebaseThePane() {
  RecordingSink sink;
  ControlDelivery delivery;
  delivery.Attach(&sink, 0, 0);
  // The user typed the pane past the limit: the next append empties it first.
  sink.Pane(LogPane::kEvent) = Letters(5000, 3);
  delivery.NotePaneEdited(LogPane::kEvent, 5000);
  OnWorker([&] { delivery.AppendToPane(LogPane::kEvent, "x"); });
  delivery.ApplyPending();
  QCOMPARE(sink.Pane(LogPane::kEvent), std::string("x"));

  // An edit while appends are pending: they land after what the user left.
  OnWorker([&] { delivery.AppendToPane(LogPane::kEvent, "y"); });
  sink.Pane(LogPane::kEvent) = "typed";
  delivery.NotePaneEdited(LogPane::kEvent, 5);
  OnWorker([&] { delivery.AppendToPane(LogPane::kEvent, "z"); });
  delivery.ApplyPending();
  QCOMPARE(sink.Pane(LogPane::kEvent), std::string("typedyz"));
}

void WindowTextTest::newestViewReplacesOneNotShown() {
  RecordingSink sink;
  ControlDelivery delivery;
  delivery.Attach(&sink, 0, 0);
  OnWorker([&] {
    for (int exp = 1; exp <= 50; ++exp) delivery.ShowDashboard(ViewWithExp(exp));
  });
  QCOMPARE(delivery.PendingOperationCount(), std::size_t{1});
  delivery.ApplyPending();
  // One view shown: every field once, with the newest values.
  QCOMPARE(sink.TextCount(1039), 1);
  QCOMPARE(sink.TextCount(1000), 1);
  QCOMPARE(static_cast<int>(sink.textOrder.size()), kDashboardTextFields + 1);
  QCOMPARE(sink.texts[1039], std::string("50"));
  QCOMPARE(sink.texts[1000], std::string("STOP"));
  QCOMPARE(sink.texts[1013], std::string("12.500000 \xA1\xC6"));
  QCOMPARE(sink.radios[1041], 2);
  QCOMPARE(sink.checks[1017], 1);
  QVERIFY(sink.textOrder.front() == 1003 && sink.textOrder.back() == 1000);
}

void WindowTextTest::otherOperationsKeepTheirOrderAroundViews() {
  RecordingSink sink;
  ControlDelivery delivery;
  delivery.Attach(&sink, 0, 0);

  // A text set before a view is overwritten by it; one set after it stays.
  OnWorker([&] {
    delivery.SetControlText(1039, "before");
    delivery.ShowDashboard(ViewWithExp(7));
    delivery.SetControlText(1008, "after");
    delivery.ShowDashboard(ViewWithExp(8));  // the newest view moves behind "after"
    delivery.SetControlText(1009, "first");
    delivery.SetControlText(1009, "second");
    delivery.SetCheck(1017, 0);
    delivery.CheckRadio(1041, 1045, 4);
  });
  delivery.ApplyPending();
  QCOMPARE(sink.texts[1039], std::string("8"));
  QCOMPARE(sink.texts[1008], std::string("\xC8\xAD\xBC\xBA-7"));  // the later view wins
  QCOMPARE(sink.texts[1009], std::string("second"));
  QCOMPARE(sink.TextCount(1009), 2);  // once from the view, then only the later text
  QCOMPARE(sink.checks[1017], 0);
  QCOMPARE(sink.radios[1041], 4);

  sink.textOrder.clear();
  OnWorker([&] {
    delivery.ShowDashboard(ViewWithExp(9));
    delivery.SetControlText(1039, "typed later");
  });
  delivery.ApplyPending();
  QCOMPARE(sink.texts[1039], std::string("typed later"));
}

void WindowTextTest::windowThreadCallsApplyPendingFirstAndAtOnce() {
  RecordingSink sink;
  ControlDelivery delivery;
  delivery.Attach(&sink, 0, 0);
  OnWorker([&] {
    delivery.ShowDashboard(ViewWithExp(3));
    delivery.AppendToPane(LogPane::kEvent, "from the worker\r\n");
  });
  QVERIFY(sink.textOrder.empty());
  // The window's own thread (a Start/Stop click): applied before the call returns,
  // after what the worker published, so its caption is the last word.
  delivery.AppendToPane(LogPane::kEvent, "clicked\r\n");
  delivery.SetControlText(1000, "Start");
  QCOMPARE(sink.texts[1000], std::string("Start"));
  QCOMPARE(sink.texts[1039], std::string("3"));
  QCOMPARE(sink.Pane(LogPane::kEvent), std::string("from the worker\r\nclicked\r\n"));
  QCOMPARE(sink.textOrder.back(), 1000);
  QCOMPARE(delivery.PendingOperationCount(), std::size_t{0});
}

void WindowTextTest::callsWithoutAWindowAreDropped() {
  RecordingSink sink;
  ControlDelivery delivery;
  OnWorker([&] { delivery.SetControlText(1003, "early"); });
  QCOMPARE(delivery.PendingOperationCount(), std::size_t{0});

  delivery.Attach(&sink, 0, 0);
  OnWorker([&] {
    delivery.ShowDashboard(ViewWithExp(1));
    delivery.AppendToPane(LogPane::kMining, "block\r\n");
  });
  QCOMPARE(delivery.PendingOperationCount(), std::size_t{1});
  delivery.Detach();
  QCOMPARE(delivery.PendingOperationCount(), std::size_t{0});
  QCOMPARE(delivery.PendingPaneBytes(LogPane::kMining), std::size_t{0});
  OnWorker([&] {
    delivery.ShowDashboard(ViewWithExp(2));
    delivery.AppendToPane(LogPane::kMining, "late\r\n");
  });
  delivery.SetControlText(1000, "Start");
  delivery.ApplyPending();
  QVERIFY(sink.textOrder.empty());
  QVERIFY(sink.Pane(LogPane::kMining).empty());
  QVERIFY(!delivery.Attached());
}

void WindowTextTest::workerNeverWaitsForABusyWindow() {
  // The window's thread is stuck inside a frame; the worker must still publish freely.
  RecordingSink sink;
  ControlDelivery delivery;
  std::atomic<bool> release{false};
  std::atomic<bool> windowBusy{false};
  sink.onText = [&] {
    windowBusy = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  std::atomic<bool> attached{false};
  std::thread window([&] {
    delivery.Attach(&sink, 0, 0);
    attached = true;
    while (!windowBusy) {
      delivery.ApplyPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    delivery.ApplyPending();
  });
  while (!attached) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  delivery.SetControlText(1003, "blocks the window");
  while (!windowBusy) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  std::atomic<bool> published{false};
  std::thread worker([&] {
    for (int i = 0; i < 20000; ++i) {
      delivery.ShowDashboard(ViewWithExp(i));
      delivery.AppendToPane(LogPane::kMining, "(1) 0.000125 KEST - Mining complete\r\n");
      delivery.SetControlText(1014, "480 / 500 gas");
    }
    published = true;
  });
  // Everything is published while the window is still stuck.
  const bool publishedWhileStuck = QTest::qWaitFor([&] { return published.load(); }, 30000);
  const std::size_t pendingOps = delivery.PendingOperationCount();
  const std::size_t pendingPane = delivery.PendingPaneBytes(LogPane::kMining);
  release = true;
  worker.join();
  window.join();
  QVERIFY2(publishedWhileStuck, "publishing waited for the window");
  // It kept only what matters: the newest view, one text per control, the pane's tail.
  QCOMPARE(pendingOps, std::size_t{2});
  QVERIFY(pendingPane <= kPaneLimit + 64);
}

QTEST_GUILESS_MAIN(WindowTextTest)
#include "window_text_test.moc"
