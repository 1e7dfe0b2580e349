// The dialog on a screen smaller than itself: its contents scroll, each control keeps its
// place and the Tab order, the lowest rows can be scrolled into view, and Escape still
// ends the window. On a screen large enough nothing changes.
#include <QAbstractButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>
#include <memory>

#include "fake_session.h"
#include "ui/common/control_delivery.h"
#include "ui/qt/qxclient_dlg.h"
#include "ui/qt/screen_fit.h"

namespace {

struct Window {
  Window()
      : session(delivery, FakeSession::SampleRecord()),
        dialog(std::make_unique<CQXCLIENTDlg>(session, delivery)) {}
  ControlDelivery delivery;
  FakeSession session;
  std::unique_ptr<CQXCLIENTDlg> dialog;
};

// Each item's rectangle, keyed by the widget, in its parent's coordinates.
QHash<QWidget*, QRect> Placement(const CQXCLIENTDlg& dialog) {
  QHash<QWidget*, QRect> placed;
  for (QWidget* w : dialog.findChildren<QWidget*>()) {
    if (w->property("controlId").isValid()) placed.insert(w, w->geometry());
  }
  return placed;
}

// The controls Tab visits, in order, from the serial-number field round once.
QList<QWidget*> TabStops(const CQXCLIENTDlg& dialog) {
  QWidget* start = dialog.Item(kIdSerialNo);
  QList<QWidget*> stops{start};
  for (QWidget* w = start->nextInFocusChain(); w != nullptr && w != start; w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->property("controlId").isValid()) stops << w;
  }
  return stops;
}

}  // namespace

class ScreenFitTest : public QObject {
  Q_OBJECT

 private slots:
  void onlyASmallerScreenChangesAnything_data();
  void onlyASmallerScreenChangesAnything();
  void theLowestRowsScrollIntoViewAndEscapeStillEnds();
};

void ScreenFitTest::onlyASmallerScreenChangesAnything_data() {
  QTest::addColumn<int>("roomWidth");
  QTest::addColumn<int>("roomHeight");
  QTest::newRow("a large screen") << 4000 << 4000;
  QTest::newRow("exactly the dialog") << 0 << 0;  // 0: the dialog's own size
  QTest::newRow("1366x768 with a panel and a title bar") << 1366 << 768 - 32 - 30;
  QTest::newRow("too narrow only") << 800 << 4000;
}

void ScreenFitTest::onlyASmallerScreenChangesAnything() {
  QFETCH(int, roomWidth);
  QFETCH(int, roomHeight);
  Window w;
  const QSize whole = w.dialog->size();
  const QSize room = roomWidth == 0 ? whole : QSize(roomWidth, roomHeight);
  const bool smaller = whole.width() > room.width() || whole.height() > room.height();
  const QHash<QWidget*, QRect> before = Placement(*w.dialog);
  const QList<QWidget*> tabBefore = TabStops(*w.dialog);
  QVERIFY(before.size() > 100);
  QVERIFY(tabBefore.size() > 40);

  QCOMPARE(ScrollWhenLargerThan(*w.dialog, room), smaller);
  QCOMPARE(w.dialog->findChild<QScrollArea*>() != nullptr, smaller);
  if (smaller) {
    QVERIFY(w.dialog->width() <= room.width() && w.dialog->height() <= room.height());
  } else {
    QCOMPARE(w.dialog->size(), whole);
  }
  // Every control where the template put it (in the scrolled contents when they scroll).
  QCOMPARE(Placement(*w.dialog), before);
  QCOMPARE(TabStops(*w.dialog), tabBefore);
  if (smaller) {
    auto* content = w.dialog->findChild<QScrollArea*>()->widget();
    QCOMPARE(content->size(), whole);
    for (QWidget* item : before.keys()) QVERIFY(content->isAncestorOf(item));
  }
}

void ScreenFitTest::theLowestRowsScrollIntoViewAndEscapeStillEnds() {
  Window w;
  QVERIFY(ScrollWhenLargerThan(*w.dialog, QSize(1366, 700)));
  w.dialog->show();
  QVERIFY(QTest::qWaitForWindowExposed(w.dialog.get()));
  auto* scroll = w.dialog->findChild<QScrollArea*>();
  QVERIFY(scroll->verticalScrollBar()->isVisible());
  QVERIFY(!scroll->horizontalScrollBar()->isVisible());

  // The item lowest in the template is out of view until the contents scroll to it.
  QWidget* lowest = nullptr;
  for (QWidget* item : Placement(*w.dialog).keys()) {
    if (item->isVisible() && (lowest == nullptr || item->geometry().bottom() > lowest->geometry().bottom())) {
      lowest = item;
    }
  }
  QVERIFY(lowest != nullptr);
  const QRect view = scroll->viewport()->rect();
  const auto inView = [&] {
    const QRect at(lowest->mapTo(scroll->viewport(), QPoint(0, 0)), lowest->size());
    return view.contains(at);
  };
  QVERIFY(!inView());
  scroll->ensureWidgetVisible(lowest, 0, 0);
  QVERIFY(inView());

  // Escape in a field ends the window as Cancel, through the scroll area.
  QWidget* serial = w.dialog->Item(kIdSerialNo);
  serial->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(serial, Qt::Key_Escape);
  QTRY_VERIFY(!w.dialog->isVisible());
  QCOMPARE(w.dialog->result(), int(QDialog::Rejected));
}

QTEST_MAIN(ScreenFitTest)
#include "screen_fit_test.moc"
