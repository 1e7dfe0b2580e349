// The window shows what the worker changes at a reading pace and only while it can be
// seen: a flooded pane still ends on its newest lines, in order, under the pane rule; a
// hidden or minimised window paints nothing and shows the newest state the moment it
// is back; a click is carried out and painted at once, whenever in the interval it falls.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/recording_window.h"
#include "core/control_ids.h"
#include "fake_session.h"
#include "ui/common/control_delivery.h"
#include "ui/common/reading_pace.h"
#include "ui/qt/cp949_text.h"
#include "ui/qt/qxclient_dlg.h"

namespace {

// Everything the client writes goes to the window's delivery and to a recording of the
// newest state, as one step, so that the recording is what the window must end up showing.
class TeeLayer final : public WindowLayer {
 public:
  TeeLayer(WindowLayer& a, WindowLayer& b) : a_(a), b_(b) {}
  void SetControlText(int id, const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    a_.SetControlText(id, text);
    b_.SetControlText(id, text);
  }
  void SetCheck(int id, int state) override {
    std::lock_guard<std::mutex> lock(mutex_);
    a_.SetCheck(id, state);
    b_.SetCheck(id, state);
  }
  void CheckRadio(int first, int last, int position) override {
    std::lock_guard<std::mutex> lock(mutex_);
    a_.CheckRadio(first, last, position);
    b_.CheckRadio(first, last, position);
  }
  void AppendToPane(LogPane pane, const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    a_.AppendToPane(pane, text);
    b_.AppendToPane(pane, text);
  }
  void ShowDashboard(const DashboardView& view) override {
    std::lock_guard<std::mutex> lock(mutex_);
    a_.ShowDashboard(view);
    b_.ShowDashboard(view);
  }

 private:
  std::mutex mutex_;
  WindowLayer& a_;
  WindowLayer& b_;
};

// Counts the paint events of the widgets it watches, with the time of the last ones.
class PaintCounter final : public QObject {
 public:
  void Watch(QWidget* widget) { widget->installEventFilter(this); }
  int Count(QObject* widget) const {
    auto it = counts_.find(widget);
    return it == counts_.end() ? 0 : it->second;
  }
  int Total() const {
    int n = 0;
    for (const auto& [widget, count] : counts_) n += count;
    return n;
  }
  void Reset() { counts_.clear(); }
  std::function<void(QObject*)> onPaint;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++counts_[watched];
      if (onPaint) onPaint(watched);
    }
    return false;
  }

 private:
  std::map<QObject*, int> counts_;
};

struct Window {
  explicit Window(const MachineState& record = FakeSession::SampleRecord())
      : tee(delivery, recording),
        session(tee, record),
        dialog(std::make_unique<CQXCLIENTDlg>(session, delivery)) {}
  ~Window() {
    dialog.reset();  // stops the worker before the layers go
  }

  bool Show() {
    dialog->show();
    return QTest::qWaitForWindowExposed(dialog.get());
  }
  QWidget* Item(int id) const { return dialog->Item(id); }
  QPlainTextEdit* Pane(LogPane pane) const {
    return qobject_cast<QPlainTextEdit*>(Item(PaneControlId(pane)));
  }
  QString Text(int id) const {
    QWidget* w = Item(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    return QStringLiteral("<no item %1>").arg(id);
  }
  // Controls whose text differs from the newest the client wrote, by id; empty when the
  // window shows exactly the newest state, panes included.
  QStringList DifferencesFromNewest() {
    QStringList differences;
    const RecordingWindow::Shown newest = recording.Current();
    for (const auto& [id, bytes] : newest.texts) {
      if (id == kIdMiningLog || id == kIdEventLog) continue;
      if (Text(id) != cp949.ToUnicode(bytes)) differences << QString::number(id);
    }
    for (LogPane pane : {LogPane::kMining, LogPane::kEvent}) {
      const std::string& bytes = pane == LogPane::kMining ? newest.miningPane : newest.eventPane;
      if (Pane(pane)->toPlainText() != PaneLineBreaks(cp949.ToUnicode(bytes))) {
        differences << QString::number(PaneControlId(pane));
      }
    }
    return differences;
  }

  ControlDelivery delivery;
  RecordingWindow recording;
  TeeLayer tee;
  FakeSession session;
  std::unique_ptr<CQXCLIENTDlg> dialog;
  Cp949Text cp949;
};

void WatchAll(PaintCounter& counter, QWidget* dialog) {
  counter.Watch(dialog);
  for (QWidget* child : dialog->findChildren<QWidget*>()) counter.Watch(child);
}

// The flood's lines: numbered, all of one length, so that the order shows in any picture.
std::string FloodLine(int n) {
  char line[64];
  std::snprintf(line, sizeof line, "flood %06d ................................\r\n", n);
  return line;
}

}  // namespace

class ReadingPaceTest : public QObject {
  Q_OBJECT

 private slots:
  void floodedPaneEndsOnItsNewestLines();
  void minedChangesArePaintedAtAReadingPace();
  void unseenWindowPaintsNothingAndReturnsCurrent_data();
  void unseenWindowPaintsNothingAndReturnsCurrent();
  void clickIsCarriedOutAndPaintedAtOnce();
};

// Both panes flooded (the mining pane by the worker, the event pane by a second thread at
// thousands of lines a second): every picture of the event pane shows a run of
// consecutive lines under the pane rule, later pictures never older lines, and once the
// flood ends the window shows exactly the newest state, caret at the end, in view.
void ReadingPaceTest::floodedPaneEndsOnItsNewestLines() {
  Window w;
  QVERIFY(w.Show());
  QPlainTextEdit* pane = w.Pane(LogPane::kEvent);
  PaintCounter paints;
  std::vector<QString> pictures;
  paints.Watch(pane->viewport());
  paints.onPaint = [&](QObject*) { pictures.push_back(pane->toPlainText()); };

  w.session.RunFreely();
  constexpr int kLines = 6000;
  std::atomic<bool> flooded{false};
  std::thread flood([&] {
    for (int i = 0; i < kLines; ++i) {
      w.tee.AppendToPane(LogPane::kEvent, FloodLine(i).c_str());
      if (i % 20 == 19) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    flooded = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(flooded.load(), 30000);
  flood.join();
  QTRY_VERIFY(w.session.StepsPublished() > 200);
  // Mining off by a click; the worker may still publish the step it was on.
  QTest::mouseClick(w.Item(kIdStartStop), Qt::LeftButton);
  QTRY_COMPARE(w.DifferencesFromNewest(), QStringList());

  const QStringList lines = pane->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QVERIFY(lines.size() >= 2);
  QVERIFY2(lines[lines.size() - 2] == QString::fromLatin1(FloodLine(kLines - 1).c_str()).trimmed(),
           qPrintable(lines[lines.size() - 2]));
  QVERIFY(pane->textCursor().atEnd());
  QCOMPARE(pane->verticalScrollBar()->value(), pane->verticalScrollBar()->maximum());
  QVERIFY(pane->viewport()->rect().contains(pane->cursorRect()));

  QVERIFY(pictures.size() >= 2);
  int lastNewest = -1;
  for (std::size_t p = 0; p < pictures.size(); ++p) {
    int previous = -1;
    for (const QString& line : pictures[p].split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
      if (!line.startsWith(QLatin1String("flood "))) {
        // Events come before the flood, or after its last line (the click that ends the
        // test is logged once the flood is over), never inside it.
        QVERIFY2(
            previous < 0 || previous == kLines - 1,
            qPrintable(QStringLiteral("picture %1: %2 after flood line %3").arg(p).arg(line).arg(previous)));
        continue;
      }
      const int n = line.mid(6, 6).toInt();
      QVERIFY2(previous < 0 || n == previous + 1,
               qPrintable(QStringLiteral("picture %1: line %2 after %3").arg(p).arg(n).arg(previous)));
      previous = n;
    }
    QVERIFY2(previous >= lastNewest, qPrintable(QStringLiteral("picture %1 ends on %2, an earlier one on %3")
                                                    .arg(p)
                                                    .arg(previous)
                                                    .arg(lastNewest)));
    lastNewest = previous;
  }
}

// While the worker mines a thousand steps a second, the panes and fields it changes are
// painted no more often than the reading pace allows, and they are painted.
void ReadingPaceTest::minedChangesArePaintedAtAReadingPace() {
  Window w;
  QVERIFY(w.Show());
  QPlainTextEdit* pane = w.Pane(LogPane::kMining);
  PaintCounter paints;
  std::vector<std::chrono::steady_clock::time_point> times;
  paints.Watch(pane->viewport());
  paints.onPaint = [&](QObject*) { times.push_back(std::chrono::steady_clock::now()); };
  w.session.RunFreely();
  QTRY_VERIFY_WITH_TIMEOUT(times.size() >= 12, 20000);
  QVERIFY(w.session.StepsPublished() > 100);
  // The pace's timer may come late, never much early (a coarse timer, 5 %); a picture may
  // be painted a little after its tick, so a gap between two pictures can be short, but
  // the pictures of a stretch of time are no more than its intervals and one more.
  const double span = std::chrono::duration<double, std::milli>(times.back() - times.front()).count();
  const double intervals = static_cast<double>(times.size() - 1);
  QVERIFY2(intervals <= (span + kReadingPaceMs) / (kReadingPaceMs * 0.95),
           qPrintable(QStringLiteral("%1 pictures in %2 ms").arg(times.size()).arg(span)));
}

void ReadingPaceTest::unseenWindowPaintsNothingAndReturnsCurrent_data() {
  QTest::addColumn<bool>("minimise");  // else hide
  QTest::newRow("hidden") << false;
  QTest::newRow("minimised") << true;
}

// While the window cannot be seen the worker mines on and nothing of the window is
// painted; the moment it is back, before any timer has run, it shows the newest state.
void ReadingPaceTest::unseenWindowPaintsNothingAndReturnsCurrent() {
  QFETCH(bool, minimise);
  Window w;
  QVERIFY(w.Show());
  // No caret blinks: the focus sits on a button.
  w.Item(kIdStartStop)->setFocus();
  w.session.RequestSteps(5);
  QTRY_COMPARE(w.session.StepsPublished(), 5);
  QTRY_COMPARE(w.DifferencesFromNewest(), QStringList());

  if (minimise) {
    w.dialog->setWindowState(w.dialog->windowState() | Qt::WindowMinimized);
    QVERIFY(w.dialog->isMinimized());
  } else {
    w.dialog->hide();
  }
  PaintCounter paints;
  WatchAll(paints, w.dialog.get());
  const int before = w.session.StepsPublished();
  w.session.RequestSteps(300);
  QTRY_COMPARE(w.session.StepsPublished(), before + 300);
  QTest::qWait(4 * kReadingPaceMs);
  QCOMPARE(paints.Total(), 0);
  // The worker changed what is not shown (else the return below would prove nothing).
  QVERIFY(!w.DifferencesFromNewest().isEmpty());

  if (minimise) {
    w.dialog->setWindowState(w.dialog->windowState() & ~Qt::WindowMinimized);
  } else {
    w.dialog->show();
  }
  QCOMPARE(w.DifferencesFromNewest(), QStringList());
  QTRY_VERIFY(paints.Count(w.Pane(LogPane::kMining)->viewport()) > 0);
}

// A click falls somewhere between two pictures: what it does, and what the worker
// published before it, is carried out before the click returns and painted at the next
// turn of the event loop, not at the next picture of the pace.
void ReadingPaceTest::clickIsCarriedOutAndPaintedAtOnce() {
  Window w;
  QVERIFY(w.Show());
  QPlainTextEdit* events = w.Pane(LogPane::kEvent);
  QWidget* mined = w.Pane(LogPane::kMining)->viewport();
  PaintCounter paints;
  paints.Watch(events->viewport());
  paints.Watch(w.Item(kIdStartStop));
  paints.Watch(mined);
  w.session.RunFreely();
  QTRY_VERIFY(w.session.StepsPublished() > 50);
  for (int round = 0; round < 4; ++round) {
    const bool stopping = round % 2 == 0;
    paints.Reset();
    if (stopping) {
      // Just after a picture of the pace: the click falls early in the interval.
      QTRY_VERIFY(paints.Count(mined) > 0);
      paints.Reset();
    }
    QTest::mouseClick(w.Item(kIdStartStop), Qt::LeftButton);
    QCOMPARE(w.Text(kIdStartStop), stopping ? QStringLiteral("Start") : QStringLiteral("Stop"));
    QVERIFY2(
        w.Text(kIdEventLog)
            .endsWith(stopping ? QStringLiteral(" Stop Mining..\n") : QStringLiteral(" Start Mining..\n")),
        qPrintable(w.Text(kIdEventLog).right(40)));
    QCoreApplication::processEvents();
    QVERIFY(paints.Count(events->viewport()) > 0);
    QVERIFY(paints.Count(w.Item(kIdStartStop)) > 0);
    QTest::qWait(2 * kReadingPaceMs);
  }
}

QTEST_MAIN(ReadingPaceTest)
#include "reading_pace_test.moc"
