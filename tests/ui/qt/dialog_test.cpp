// The real main window, offscreen, driven by a small client that writes through the
// window layer the way the real one does.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/log_pane_rule.h"
#include "fake_session.h"
#include "ui/common/control_delivery.h"
#include "ui/common/dialog_template.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/cached_panel_style.h"
#include "ui/qt/cp949_text.h"
#include "ui/qt/qxclient_dlg.h"

namespace {

// One window on one client, destroyed in the order the program destroys them.
struct Window {
  explicit Window(const MachineState& record = FakeSession::SampleRecord())
      : session(delivery, record), dialog(std::make_unique<CQXCLIENTDlg>(session, delivery)) {}

  bool Show() {
    dialog->show();
    return QTest::qWaitForWindowExposed(dialog.get());
  }
  QWidget* Item(int id) const { return dialog->Item(id); }
  QString Text(int id) const {
    QWidget* w = Item(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    return QStringLiteral("<no item %1>").arg(id);
  }
  bool Checked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(Item(id));
    return b != nullptr && b->isChecked();
  }
  // Waits until the worker has published `count` steps in all.
  bool WaitForSteps(int count) {
    return QTest::qWaitFor([&] { return session.StepsPublished() >= count; }, 5000);
  }

  ControlDelivery delivery;
  FakeSession session;
  std::unique_ptr<CQXCLIENTDlg> dialog;
};

int IdOf(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    const QVariant id = w->property("controlId");
    if (id.isValid()) return id.toInt();
  }
  return 0;
}

const char* ClassOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::kEdit: return "QLineEdit";
    case ItemKind::kMultiLineEdit: return "QPlainTextEdit";
    case ItemKind::kComboBox: return "QComboBox";
    case ItemKind::kPushButton:
    case ItemKind::kDefPushButton: return "QPushButton";
    case ItemKind::kCheckBox: return "QCheckBox";
    case ItemKind::kRadioButton: return "QRadioButton";
    case ItemKind::kGroupBox: return "QGroupBox";
    case ItemKind::kStaticText:
    case ItemKind::kPicture:
    case ItemKind::kIcon: return "QLabel";
  }
  return "";
}

const QList<int> kTabOrder = {1003, 1004, 1008, 1009, 1010, 1006, 1023, 1024, 1025, 1027, 1028, 1012, 1001,
                              1002, 1011, 1019, 1020, 1021, 1022, 1013, 1014, 1015, 1018, 1037, 1005, 1000,
                              1007, 1016, 1017, 1029, 1030, 1031, 1032, 1038, 1046, 1040, 1047, 1048, 1049,
                              1050, 1051, 1052, 1053, 1056, 1057, 1058, 1059, 1060, 1061, 1054, 1039};

}  // namespace

class DialogTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsByIdWithKindsAndTexts_data();
  void controlsByIdWithKindsAndTexts();
  void itemsWithoutIdentifier();
  void tabVisitsTheControlsInTemplateOrder();
  void placedInDialogUnitsAndResizingMovesNothing();
  void everyTextFitsItsRectangle();

  void startsTheSessionBeforeItIsShown_data();
  void startsTheSessionBeforeItIsShown();
  void startStopTogglesAndTheNextStepRelabels();
  void clickShowsPendingWorkBeforeItsCaption();
  void typedTextStaysUntilTheNextRefresh();
  void unchangedControlsAreLeftAlone();
  void keptFramesLookAsTheStyleDrawsThem();
  void keptFramesStayFewAsOptionsKeepChanging();
  void logPaneShowsEachFrameAtItsEnd_data();
  void logPaneShowsEachFrameAtItsEnd();
  void radioAndCheckMarksFollowTheRecord();
  void aboutBoxFromTheContextMenu();
  void aboutCommandIds_data();
  void aboutCommandIds();

  void enterAndEscape_data();
  void enterAndEscape();
  void closeBoxEndsAsCancelAfterHiding();
  void workerCallsAfterTheWindowIsGoneAreHarmless();
};

void DialogTest::controlsByIdWithKindsAndTexts_data() {
  QTest::addColumn<int>("id");
  QTest::addColumn<QString>("className");
  QTest::addColumn<QString>("text");
  const auto row = [](int id, const char* cls, const char* text) {
    QTest::addRow("%d", id) << id << QString::fromLatin1(cls) << QString::fromUtf8(text);
  };
  for (int id : {1003, 1004, 1008, 1009, 1010, 1023, 1024, 1025, 1027, 1028, 1012, 1001,
                 1002, 1011, 1019, 1020, 1021, 1022, 1013, 1014, 1015, 1018, 1037, 1039,
                 1029, 1030, 1031, 1032, 1052, 1056, 1058, 1060, 1040, 1047, 1048, 1049}) {
    row(id, "QLineEdit", "");
  }
  row(1046, "QPlainTextEdit", "");
  row(1054, "QPlainTextEdit", "");
  row(1006, "QComboBox", "");
  row(1000, "QPushButton", "Start");
  row(1005, "QPushButton", "Update");
  row(1007, "QPushButton", "Sector Change");
  row(1016, "QPushButton", "Charge Fuels");
  row(1038, "QPushButton", "Machine Level Up");
  row(1050, "QPushButton", "SEND");
  row(1051, "QPushButton", "SWAP");
  for (int id : {1053, 1057, 1059, 1061}) row(id, "QPushButton", "Transfer");
  row(1017, "QCheckBox", "Auto Charge Fuels ( 1 Kest / day )");
  row(1041, "QRadioButton", "KEST");
  row(1042, "QRadioButton", "BTC");
  row(1043, "QRadioButton", "ETH");
  row(1044, "QRadioButton", "BNB");
  row(1045, "QRadioButton", "ALL");
  for (int id : {1055, 1062, 1063, 1064}) row(id, "QLabel", "= $ 3,412.323 ");
  for (int id : {1065, 1066, 1067, 1068}) row(id, "QLabel", "Price : 2.00 $");
}

void DialogTest::controlsByIdWithKindsAndTexts() {
  QFETCH(int, id);
  QFETCH(QString, className);
  QFETCH(QString, text);
  Window w;  // built, not yet shown: the template's own texts
  QWidget* item = w.Item(id);
  QVERIFY(item != nullptr);
  QCOMPARE(QString::fromLatin1(item->metaObject()->className()), className);
  QCOMPARE(w.Text(id), text);
  QVERIFY(item->isVisibleTo(w.dialog.get()));
  if (auto* pane = qobject_cast<QPlainTextEdit*>(item)) {
    QVERIFY(!pane->isReadOnly());
    QCOMPARE(pane->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(pane->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  }
  if (auto* edit = qobject_cast<QLineEdit*>(item)) QVERIFY(!edit->isReadOnly());
  if (auto* combo = qobject_cast<QComboBox*>(item)) {
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
  }
  if (auto* button = qobject_cast<QPushButton*>(item)) QVERIFY(!button->isDefault());
}

void DialogTest::itemsWithoutIdentifier() {
  Window w;
  const auto& items = w.dialog->Widgets().Items();
  QCOMPARE(static_cast<int>(items.size()), 111);
  QStringList groupTitles;
  int labels = 0;
  int withId = 0;
  int pictures = 0;
  for (const BuiltItem& built : items) {
    QCOMPARE(QString::fromLatin1(built.widget->metaObject()->className()),
             QString::fromLatin1(ClassOf(built.kind)));
    if (built.item->id != kNoId) {
      ++withId;
      continue;
    }
    if (auto* box = qobject_cast<QGroupBox*>(built.widget)) groupTitles << box->title();
    if (built.kind == ItemKind::kStaticText) {
      ++labels;
      QVERIFY(!static_cast<QLabel*>(built.widget)->text().isEmpty());
    }
    if (built.kind == ItemKind::kPicture) {
      ++pictures;
      // Bitmap 130 at its own size, where the template puts it.
      const QPixmap banner = static_cast<QLabel*>(built.widget)->pixmap();
      QCOMPARE(banner.size(), QSize(940, 70));
      QCOMPARE(built.widget->size(), QSize(940, 70));
      QCOMPARE(built.widget->pos(), QPoint(w.dialog->Units().X(174), w.dialog->Units().Y(144)));
    }
  }
  QCOMPARE(withId, 64);
  QCOMPARE(labels, 39);
  QCOMPARE(pictures, 1);
  QCOMPARE(groupTitles,
           (QStringList{"Client Information", "MARS INFORMATION", "MINING INFORMATION", "Machine Information",
                        "Wallet Information", "Machine Coin Information", "Wallet Controller"}));
  QCOMPARE(w.dialog->windowTitle(), QStringLiteral("KESTRAVON MINER V2 0.216"));
}

void DialogTest::tabVisitsTheControlsInTemplateOrder() {
  Window w(FakeSession::SampleRecord());
  QVERIFY(w.Show());
  QApplication::setActiveWindow(w.dialog.get());
  QVERIFY(QTest::qWaitForWindowActive(w.dialog.get()));
  // The focus starts on the serial-number edit.
  QTRY_COMPARE(IdOf(QApplication::focusWidget()), 1003);
  QList<int> visited{IdOf(QApplication::focusWidget())};
  for (int i = 1; i < kTabOrder.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited << IdOf(QApplication::focusWidget());
  }
  QCOMPARE(visited, kTabOrder);

  // The target-coin group stands first in the template: Tab reaches it at its checked
  // button (the record checks ETH), and only there, whatever checked it last.
  struct Check {
    const char* how;
    int checkedId;
  };
  const Check checks[] = {
      {"the record's refresh", 1043}, {"a click on KEST", 1041}, {"a click on ALL", 1045}};
  for (const Check& c : checks) {
    if (c.checkedId != 1043) {
      QTest::mouseClick(w.Item(c.checkedId), Qt::LeftButton);
      w.Item(kTabOrder.back())->setFocus(Qt::OtherFocusReason);
    }
    QVERIFY2(static_cast<QAbstractButton*>(w.Item(c.checkedId))->isChecked(), c.how);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(IdOf(QApplication::focusWidget()), c.checkedId);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(IdOf(QApplication::focusWidget()), 1003);  // round again
    for (int id = 1041; id <= 1045; ++id) {
      QCOMPARE(bool(w.Item(id)->focusPolicy() & Qt::TabFocus), id == c.checkedId);
      QVERIFY(w.Item(id)->focusPolicy() & Qt::ClickFocus);
    }
  }
}

void DialogTest::placedInDialogUnitsAndResizingMovesNothing() {
  Window w;
  const DialogUnits units = w.dialog->Units();
  // Units of the dialog font: a quarter of its average character width, an eighth of
  // its height.
  const QFontMetrics metrics(w.dialog->font());
  QCOMPARE(units.baseY, metrics.ascent() + metrics.descent());
  const int alphabet =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  QCOMPARE(units.baseX, (alphabet / 26 + 1) / 2);
  QCOMPARE(w.dialog->font().pointSize(), 9);
  QCOMPARE(w.dialog->size(), QSize((719 * units.baseX + 2) / 4, (443 * units.baseY + 4) / 8));
  QCOMPARE(w.Item(1003)->geometry(), QRect((69 * units.baseX + 2) / 4, (18 * units.baseY + 4) / 8,
                                           (94 * units.baseX + 2) / 4, (12 * units.baseY + 4) / 8));
  QCOMPARE(w.Item(1054)->geometry(), units.Rect(419, 321, 293, 115));
  // The combo box's rectangle is its opened list; the field is one line high.
  QCOMPARE(w.Item(1006)->pos(), QPoint(units.X(231), units.Y(21)));
  QCOMPARE(w.Item(1006)->width(), units.X(134));
  QVERIFY(w.Item(1006)->height() < units.Y(77));

  QVERIFY(w.Show());
  std::vector<QRect> before;
  for (const BuiltItem& built : w.dialog->Widgets().Items()) before.push_back(built.widget->geometry());
  for (const QSize size : {QSize(900, 500), QSize(1600, 1000), QSize(300, 200)}) {
    w.dialog->resize(size);
    QTRY_COMPARE(w.dialog->size(), size);
    std::size_t i = 0;
    for (const BuiltItem& built : w.dialog->Widgets().Items()) {
      QCOMPARE(built.widget->geometry(), before[i++]);
    }
  }
}

void DialogTest::everyTextFitsItsRectangle() {
  // At the dialog font no label, caption or title is cut off or wrapped out of sight,
  // in the main window or in the About box.
  Window w;
  CAboutDlg about;
  std::vector<BuiltItem> items = w.dialog->Widgets().Items();
  items.insert(items.end(), about.Widgets().Items().begin(), about.Widgets().Items().end());
  for (const BuiltItem& built : items) {
    QWidget* widget = built.widget;
    QStyle* style = widget->style();
    const QFontMetrics fm(widget->font());
    const QRect rect = widget->geometry();
    const QString text = QString::fromUtf8(built.item->text).trimmed();
    const QByteArray what = QStringLiteral("%1 \"%2\" in %3x%4")
                                .arg(built.item->id)
                                .arg(text)
                                .arg(rect.width())
                                .arg(rect.height())
                                .toUtf8();
    switch (built.kind) {
      case ItemKind::kStaticText: {
        const QRect needed =
            fm.boundingRect(QRect(0, 0, rect.width(), 10000), Qt::TextWordWrap | Qt::AlignLeft, text);
        // A line mixing Latin and Korean letters has a line box a pixel taller than the
        // label; what counts is that its ink stays inside.
        const bool oneLine = fm.horizontalAdvance(text) <= rect.width();
        const int inkBottom =
            qCeil(QFontMetricsF(widget->font()).ascent()) + fm.tightBoundingRect(text).bottom();
        const bool fits = (needed.width() <= rect.width() && needed.height() <= rect.height()) ||
                          (oneLine && inkBottom < rect.height());
        QVERIFY2(fits, what.constData());
        break;
      }
      case ItemKind::kPushButton:
      case ItemKind::kDefPushButton: {
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, widget);
        QVERIFY2(fm.horizontalAdvance(text) + margin <= rect.width(), what.constData());
        QVERIFY2(fm.height() <= rect.height(), what.constData());
        break;
      }
      case ItemKind::kCheckBox:
      case ItemKind::kRadioButton: {
        const bool radio = built.kind == ItemKind::kRadioButton;
        const int indicator = style->pixelMetric(
            radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, nullptr, widget);
        const int spacing = style->pixelMetric(
            radio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing, nullptr, widget);
        QVERIFY2(indicator + spacing + fm.horizontalAdvance(text) <= rect.width(), what.constData());
        QVERIFY2(fm.height() <= rect.height(), what.constData());
        break;
      }
      case ItemKind::kGroupBox:
        QVERIFY2(fm.horizontalAdvance(text) + 16 <= rect.width(), what.constData());
        break;
      default: break;
    }
  }
}

void DialogTest::startsTheSessionBeforeItIsShown_data() {
  QTest::addColumn<int>("onOff");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("eventLog");
  const QString start = QStringLiteral("Initialize..\nDownloading Machine Information..\n");
  QTest::newRow("mining on") << 1 << "STOP" << start + QString::fromUtf8("화성-7 Start Mining..\n");
  QTest::newRow("mining off") << 0 << "START" << start;
  QTest::newRow("mining 2") << 2 << "START" << start;
}

void DialogTest::startsTheSessionBeforeItIsShown() {
  QFETCH(int, onOff);
  QFETCH(QString, caption);
  QFETCH(QString, eventLog);
  MachineState record = FakeSession::SampleRecord();
  record.onOff = onOff;
  Window w(record);
  bool visibleAtStart = true;
  bool attachedAtStart = false;
  w.session.onStart = [&] {
    visibleAtStart = w.dialog->isVisible();
    attachedAtStart = w.delivery.Attached();
  };
  QVERIFY(w.Show());
  QCOMPARE(w.session.startCalls.load(), 1);
  QVERIFY(!visibleAtStart);
  QVERIFY(attachedAtStart);
  // Shown with the dashboard already filled: no frame has passed for any of this.
  QCOMPARE(w.Text(1000), caption);
  QCOMPARE(w.Text(1003), QStringLiteral("KV-0001-TEST"));
  QCOMPARE(w.Text(1008), QString::fromUtf8("화성-7"));
  QCOMPARE(w.Text(1013), QString::fromUtf8("12.500000 °"));
  QCOMPARE(w.Text(1014), QStringLiteral("480 / 500 gas"));
  QCOMPARE(w.Text(1006), QStringLiteral("Diacria quadrangle"));
  QCOMPARE(w.Text(1055), QStringLiteral("= $ 3.000000"));
  QCOMPARE(w.Text(1065), QStringLiteral("= $ 20.000000"));
  QCOMPARE(w.Text(1054), eventLog);
  QVERIFY(w.Text(1046).isEmpty());
  QCOMPARE(w.dialog->focusWidget(), w.Item(1003));
  // The sorted list of the sector combo box.
  auto* combo = qobject_cast<QComboBox*>(w.Item(1006));
  QCOMPARE(combo->count(), 2);
  QCOMPARE(combo->itemText(0), QStringLiteral("Diacria quadrangle"));
  QCOMPARE(combo->itemText(1), QStringLiteral("Mare Boreum quadrangle"));
  QVERIFY(!w.dialog->windowIcon().isNull());
  QVERIFY(w.dialog->windowIcon().availableSizes().contains(QSize(256, 256)));
  QVERIFY(w.session.WorkerRunning());
}

void DialogTest::startStopTogglesAndTheNextStepRelabels() {
  MachineState record = FakeSession::SampleRecord();
  record.onOff = 0;
  Window w(record);
  QVERIFY(w.Show());
  QCOMPARE(w.Text(1000), QStringLiteral("START"));

  QTest::mouseClick(w.Item(1000), Qt::LeftButton);
  QCOMPARE(w.session.toggleCalls.load(), 1);
  QCOMPARE(w.Text(1000), QStringLiteral("Stop"));
  QVERIFY(w.Text(1054).endsWith(QString::fromUtf8("화성-7 Start Mining..\n")));
  // The next mining step renders the caption in capitals.
  w.session.RequestSteps(1);
  QTRY_COMPARE(w.Text(1000), QStringLiteral("STOP"));
  QTRY_VERIFY(w.Text(1046).startsWith(QStringLiteral("(1) 0.000125 KEST - Mining complete\n Hash : QXx")));

  QTest::mouseClick(w.Item(1000), Qt::LeftButton);
  QCOMPARE(w.Text(1000), QStringLiteral("Start"));
  QVERIFY(w.Text(1054).endsWith(QString::fromUtf8("화성-7 Stop Mining..\n")));
  // Nothing renders while mining is off, so the mixed-case caption stays.
  w.session.RequestSteps(1);
  QTest::qWait(100);
  QCOMPARE(w.Text(1000), QStringLiteral("Start"));
  QCOMPARE(w.session.StepsPublished(), 1);

  // The other buttons do nothing.
  for (int id : {1005, 1007, 1016, 1038, 1050, 1051, 1053, 1057, 1059, 1061}) {
    QTest::mouseClick(w.Item(id), Qt::LeftButton);
  }
  QCOMPARE(w.session.toggleCalls.load(), 2);
  QVERIFY(w.dialog->isVisible());
}

void DialogTest::clickShowsPendingWorkBeforeItsCaption() {
  Window w;  // mining on
  QVERIFY(w.Show());
  // A step is published but not yet shown (this thread has not run a frame since).
  w.session.RequestSteps(1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (w.session.StepsPublished() < 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  QCOMPARE(w.session.StepsPublished(), 1);
  QCOMPARE(w.Text(1000), QStringLiteral("STOP"));
  QVERIFY(w.Text(1046).isEmpty());
  QTest::mouseClick(w.Item(1000), Qt::LeftButton);
  // The pending step came first, then the click's own caption, which stays.
  QVERIFY(!w.Text(1046).isEmpty());
  QCOMPARE(w.Text(1000), QStringLiteral("Start"));
  QTest::qWait(100);
  QCOMPARE(w.Text(1000), QStringLiteral("Start"));
}

void DialogTest::typedTextStaysUntilTheNextRefresh() {
  Window w;
  QVERIFY(w.Show());
  auto* name = qobject_cast<QLineEdit*>(w.Item(1008));
  name->setFocus();
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("typed"));
  QCOMPARE(name->text(), QStringLiteral("typed"));
  auto* combo = qobject_cast<QComboBox*>(w.Item(1006));
  combo->setCurrentIndex(1);
  QCOMPARE(w.Text(1006), QStringLiteral("Mare Boreum quadrangle"));
  QTest::qWait(50);
  QCOMPARE(name->text(), QStringLiteral("typed"));

  w.session.RequestSteps(1);
  QTRY_COMPARE(name->text(), QString::fromUtf8("화성-7"));
  QCOMPARE(w.Text(1006), QStringLiteral("Diacria quadrangle"));

  // Text typed into a log pane stays there; the worker's blocks follow it.
  auto* pane = qobject_cast<QPlainTextEdit*>(w.Item(1046));
  pane->setFocus();
  QTest::keyClicks(pane, QStringLiteral("note"));
  w.session.RequestSteps(1);
  QTRY_VERIFY(w.Text(1046).contains(QStringLiteral("note(2) 0.000125 KEST")));
}

void DialogTest::unchangedControlsAreLeftAlone() {
  Window w;
  QVERIFY(w.Show());
  auto* serial = qobject_cast<QLineEdit*>(w.Item(1003));
  serial->setFocus();
  serial->setSelection(3, 4);
  const QString expBefore = w.Text(1039);
  w.session.RequestSteps(1);
  QTRY_VERIFY(w.Text(1039) != expBefore);
  // The serial number did not change, so the edit was not rewritten: the selection
  // the user made is still there.
  QCOMPARE(serial->selectedText(), QStringLiteral("0001"));
}

void DialogTest::logPaneShowsEachFrameAtItsEnd_data() {
  QTest::addColumn<int>("blocks");
  QTest::addColumn<int>("blocksPerFrame");
  QTest::newRow("a few lines in one frame") << 3 << 3;
  QTest::newRow("past the limit twice in one frame") << 120 << 120;
  QTest::newRow("a mining frame's worth at a time") << 300 << 17;
  QTest::newRow("one block a frame") << 80 << 1;
}

// Whatever a frame brings, the pane ends with exactly what the pane rule leaves, its caret
// at the end with the last line in view at the bottom, and nothing to undo.
void DialogTest::logPaneShowsEachFrameAtItsEnd() {
  QFETCH(int, blocks);
  QFETCH(int, blocksPerFrame);
  Window w;
  QVERIFY(w.Show());
  auto* pane = qobject_cast<QPlainTextEdit*>(w.Item(1046));
  QVERIFY(pane != nullptr);
  std::string expected;  // the pane as the rule leaves it, in the client's bytes
  for (int next = 0, frame = 0; next < blocks; ++frame) {
    std::vector<std::string> texts;
    for (; next < blocks && static_cast<int>(texts.size()) < blocksPerFrame; ++next) {
      texts.push_back("(" + std::to_string(next) + ") 0.000123 KEST - Mining complete\r\n Hash : QXx" +
                      std::string(32, static_cast<char>('a' + next % 26)) + "\r\n");
    }
    std::thread worker([&] {
      for (const std::string& t : texts) w.delivery.AppendToPane(LogPane::kMining, t.c_str());
    });
    worker.join();
    for (const std::string& t : texts) AppendUnderPaneRule(expected, t);
    w.delivery.ApplyPending();

    QCOMPARE(pane->toPlainText(), PaneLineBreaks(QString::fromLatin1(expected)));
    QVERIFY2(pane->textCursor().atEnd(), qPrintable(QStringLiteral("frame %1").arg(frame)));
    QVERIFY(!pane->document()->isUndoAvailable());
    QVERIFY2(pane->viewport()->rect().contains(pane->cursorRect()),
             qPrintable(QStringLiteral("frame %1: caret outside the view").arg(frame)));
    QCOMPARE(pane->verticalScrollBar()->value(), pane->verticalScrollBar()->maximum());
  }
}

// Fields and group boxes draw their frames from pictures the window keeps; what they
// show is exactly what the application's style draws.
void DialogTest::keptFramesLookAsTheStyleDrawsThem() {
  if (!CachedPanelStyle::Suits(*QApplication::style())) QSKIP("frames drawn by the style itself");
  Window w;
  QVERIFY(w.Show());
  int compared = 0;
  for (const BuiltItem& built : w.dialog->Widgets().Items()) {
    QWidget* item = built.widget;
    if (!qobject_cast<QLineEdit*>(item) && !qobject_cast<QGroupBox*>(item)) continue;
    QVERIFY(item->style() != QApplication::style());
    item->grab();  // keeps the pictures
    const QImage kept = item->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QStyle* own = item->style();
    item->setStyle(QApplication::style());
    const QImage direct = item->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    item->setStyle(own);
    QCOMPARE(kept.size(), direct.size());
    int worst = 0;
    for (int y = 0; y < kept.height(); ++y) {
      for (int x = 0; x < kept.width(); ++x) {
        const QRgb a = kept.pixel(x, y);
        const QRgb b = direct.pixel(x, y);
        worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                          std::abs(qBlue(a) - qBlue(b))});
      }
    }
    QVERIFY2(worst == 0,
             qPrintable(QStringLiteral("item %1: a channel differs by %2").arg(IdOf(item)).arg(worst)));
    ++compared;
  }
  QVERIFY(compared > 30);
}

// Repaints of unchanged frames reuse their pictures; a field whose palette changes on
// every repaint gets a new picture each time, yet the window keeps only a bounded number
// and still draws the latest exactly as the style does.
void DialogTest::keptFramesStayFewAsOptionsKeepChanging() {
  if (!CachedPanelStyle::Suits(*QApplication::style())) QSKIP("frames drawn by the style itself");
  Window w;
  QVERIFY(w.Show());
  auto* field = qobject_cast<QLineEdit*>(w.Item(1003));
  QVERIFY(field != nullptr);
  auto* kept = dynamic_cast<CachedPanelStyle*>(field->style());
  QVERIFY(kept != nullptr);
  field->grab();
  const std::size_t settled = kept->KeptPictureCount();
  QVERIFY(settled > 0);
  for (int i = 0; i < 5; ++i) field->grab();
  QCOMPARE(kept->KeptPictureCount(), settled);

  QImage last;
  for (int i = 0; i < 3 * static_cast<int>(CachedPanelStyle::kMaxPictures); ++i) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, QColor::fromHsv(i % 360, 40 + i % 200, 255));
    field->setPalette(palette);
    last = field->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(kept->KeptPictureCount() <= CachedPanelStyle::kMaxPictures);
  }
  QCOMPARE(kept->KeptPictureCount(), CachedPanelStyle::kMaxPictures);
  field->setStyle(QApplication::style());
  const QImage direct = field->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  field->setStyle(kept);
  QCOMPARE(last, direct);
}

void DialogTest::radioAndCheckMarksFollowTheRecord() {
  Window w;  // target coin 2 (ETH), auto charge on
  QVERIFY(w.Show());
  QVERIFY(w.Checked(1043));
  QVERIFY(w.Checked(1017));
  QCOMPARE(w.dialog->TargetCoinChoice(), 2);
  // A click changes only the control's own mark, until the next refresh.
  QTest::mouseClick(w.Item(1045), Qt::LeftButton);
  QTest::mouseClick(w.Item(1017), Qt::LeftButton);
  QVERIFY(w.Checked(1045) && !w.Checked(1043));
  QVERIFY(!w.Checked(1017));
  w.session.RequestSteps(1);
  QTRY_VERIFY(w.Checked(1043));
  QVERIFY(!w.Checked(1045));
  QVERIFY(w.Checked(1017));

  // A position outside the group clears every button.
  w.delivery.CheckRadio(1041, 1045, 7);
  for (int id = 1041; id <= 1045; ++id) QVERIFY(!w.Checked(id));
  w.delivery.CheckRadio(1041, 1045, 4);
  QVERIFY(w.Checked(1045));
  w.delivery.SetCheck(1017, 0);
  QVERIFY(!w.Checked(1017));
  w.delivery.SetCheck(1017, 2);
  QVERIFY(w.Checked(1017));
}

void DialogTest::aboutBoxFromTheContextMenu() {
  Window w;
  QVERIFY(w.Show());
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(600, 500),
                          w.dialog->mapToGlobal(QPoint(600, 500)));
  QApplication::sendEvent(w.dialog.get(), &event);
  QMenu* menu = w.dialog->findChild<QMenu*>();
  QVERIFY(menu != nullptr);
  QTRY_VERIFY(menu->isVisible());
  QCOMPARE(menu->actions().size(), 1);
  QCOMPARE(menu->actions().first()->text(), QString::fromUtf8("QX_CLIENT 정보(&A)..."));
  menu->actions().first()->trigger();
  menu->close();

  QPointer<CAboutDlg> about = w.dialog->findChild<CAboutDlg*>();
  QVERIFY(about != nullptr);
  QTRY_VERIFY(about->isVisible());
  QVERIFY(about->isModal());
  QCOMPARE(about->windowTitle(), QString::fromUtf8("QX_CLIENT 정보"));
  QStringList texts;
  bool hasIcon = false;
  for (const BuiltItem& built : about->Widgets().Items()) {
    if (built.kind == ItemKind::kIcon) {
      hasIcon = !static_cast<QLabel*>(built.widget)->pixmap().isNull();
    } else if (auto* label = qobject_cast<QLabel*>(built.widget)) {
      texts << label->text();
    }
  }
  QVERIFY(hasIcon);
  QCOMPARE(texts.size(), 2);
  QCOMPARE(texts[0], QString::fromUtf8("QX_CLIENT, 버전 1.0"));
  QVERIFY(!texts[1].isEmpty());
  auto* ok = qobject_cast<QPushButton*>(about->Item(1));
  QVERIFY(ok != nullptr);
  QCOMPARE(ok->text(), QString::fromUtf8("확인"));
  QVERIFY(ok->isDefault());
  QVERIFY(about->minimumSize() == about->maximumSize());

  // Enter ends it (its default button), and the main window goes on.
  QTest::keyClick(about.data(), Qt::Key_Return);
  QTRY_VERIFY(about.isNull());
  QVERIFY(w.dialog->isVisible());
  QCOMPARE(w.session.endCalls.load(), 0);

  // Escape ends another one.
  w.dialog->OnSysCommand(kAboutCommandId);
  about = w.dialog->findChild<CAboutDlg*>();
  QVERIFY(about != nullptr);
  QTRY_VERIFY(about->isVisible());
  QTest::keyClick(about.data(), Qt::Key_Escape);
  QTRY_VERIFY(about.isNull());
  QVERIFY(w.dialog->isVisible());
}

void DialogTest::aboutCommandIds_data() {
  QTest::addColumn<unsigned>("command");
  QTest::addColumn<bool>("opens");
  QTest::newRow("16") << 16u << true;
  QTest::newRow("17") << 17u << true;
  QTest::newRow("31") << 31u << true;
  QTest::newRow("15") << 15u << false;
  QTest::newRow("32") << 32u << false;
  QTest::newRow("close 0xF060") << 0xF060u << false;
}

void DialogTest::aboutCommandIds() {
  QFETCH(unsigned, command);
  QFETCH(bool, opens);
  Window w;
  QVERIFY(w.Show());
  w.dialog->OnSysCommand(command);
  QPointer<CAboutDlg> about = w.dialog->findChild<CAboutDlg*>();
  QCOMPARE(about != nullptr, opens);
  if (about) about->reject();
  QVERIFY(w.dialog->isVisible());
}

void DialogTest::enterAndEscape_data() {
  QTest::addColumn<int>("id");
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("result");  // -1: the window stays open
  QTest::addColumn<int>("toggles");
  QTest::addColumn<int>("modifiers");
  const int ok = QDialog::Accepted;
  const int cancel = QDialog::Rejected;
  QTest::newRow("Enter in an edit") << 1003 << int(Qt::Key_Return) << ok << 0 << 0;
  QTest::newRow("keypad Enter in an edit") << 1039 << int(Qt::Key_Enter) << ok << 0 << 0;
  QTest::newRow("Enter in the combo box") << 1006 << int(Qt::Key_Return) << ok << 0 << 0;
  QTest::newRow("Enter on the check box") << 1017 << int(Qt::Key_Return) << ok << 0 << 0;
  QTest::newRow("Enter on a radio button") << 1041 << int(Qt::Key_Return) << ok << 0 << 0;
  QTest::newRow("Enter in the mining log") << 1046 << int(Qt::Key_Return) << -1 << 0 << 0;
  QTest::newRow("Enter in the event log") << 1054 << int(Qt::Key_Return) << -1 << 0 << 0;
  QTest::newRow("Enter on Start/Stop") << 1000 << int(Qt::Key_Return) << -1 << 1 << 0;
  QTest::newRow("Enter on an inert button") << 1005 << int(Qt::Key_Return) << -1 << 0 << 0;
  QTest::newRow("Escape in an edit") << 1003 << int(Qt::Key_Escape) << cancel << 0 << 0;
  QTest::newRow("Escape in the combo box") << 1006 << int(Qt::Key_Escape) << cancel << 0 << 0;
  QTest::newRow("Escape in a log pane") << 1046 << int(Qt::Key_Escape) << cancel << 0 << 0;
  QTest::newRow("Escape on a button") << 1000 << int(Qt::Key_Escape) << cancel << 0 << 0;
  // Shift and Ctrl change nothing; Alt makes a system key that neither ends nor clicks.
  const int shift = Qt::ShiftModifier;
  const int ctrl = Qt::ControlModifier;
  QTest::newRow("Shift+Enter in an edit") << 1003 << int(Qt::Key_Return) << ok << 0 << shift;
  QTest::newRow("Ctrl+keypad Enter in an edit") << 1039 << int(Qt::Key_Enter) << ok << 0 << ctrl;
  QTest::newRow("Ctrl+Enter on a radio button") << 1041 << int(Qt::Key_Return) << ok << 0 << ctrl;
  QTest::newRow("Shift+Enter on Start/Stop") << 1000 << int(Qt::Key_Return) << -1 << 1 << shift;
  QTest::newRow("Ctrl+Enter on Start/Stop") << 1000 << int(Qt::Key_Return) << -1 << 1 << ctrl;
  QTest::newRow("Shift+Enter in the mining log") << 1046 << int(Qt::Key_Return) << -1 << 0 << shift;
  QTest::newRow("Ctrl+Enter in the mining log") << 1046 << int(Qt::Key_Return) << -1 << 0 << ctrl;
  QTest::newRow("Shift+Escape in an edit") << 1003 << int(Qt::Key_Escape) << cancel << 0 << shift;
  QTest::newRow("Ctrl+Escape on a button") << 1000 << int(Qt::Key_Escape) << cancel << 0 << ctrl;
  QTest::newRow("Alt+Enter in an edit") << 1003 << int(Qt::Key_Return) << -1 << 0 << int(Qt::AltModifier);
}

void DialogTest::enterAndEscape() {
  QFETCH(int, id);
  QFETCH(int, key);
  QFETCH(int, result);
  QFETCH(int, toggles);
  QFETCH(int, modifiers);
  Window w;
  QVERIFY(w.Show());
  QApplication::setActiveWindow(w.dialog.get());
  QVERIFY(QTest::qWaitForWindowActive(w.dialog.get()));
  QWidget* target = w.Item(id);
  target->setFocus();
  QTRY_COMPARE(IdOf(QApplication::focusWidget()), id);
  const QString paneBefore = w.Text(1046);
  QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key),
                  static_cast<Qt::KeyboardModifiers>(modifiers));
  QCOMPARE(w.session.toggleCalls.load(), toggles);
  if (result < 0) {
    QVERIFY(w.dialog->isVisible());
    QCOMPARE(w.session.endCalls.load(), 0);
    if (id == 1046) QCOMPARE(w.Text(1046), paneBefore + QStringLiteral("\n"));
  } else {
    QVERIFY(!w.dialog->isVisible());
    QCOMPARE(w.dialog->result(), result);
    QCOMPARE(w.session.endCalls.load(), 1);
    QCOMPARE(w.session.stopCalls.load(), 0);  // the worker stops with the object
  }
}

void DialogTest::closeBoxEndsAsCancelAfterHiding() {
  Window w;
  QVERIFY(w.Show());
  bool visibleAtEnd = true;
  bool attachedAtEnd = true;
  bool workerAtEnd = false;
  w.session.onEnd = [&] {
    visibleAtEnd = w.dialog->isVisible();
    attachedAtEnd = w.delivery.Attached();
    workerAtEnd = w.session.WorkerRunning();
  };
  QVERIFY(w.dialog->close());
  QCOMPARE(w.dialog->result(), int(QDialog::Rejected));
  QCOMPARE(w.session.endCalls.load(), 1);
  QVERIFY(!visibleAtEnd);
  QVERIFY(!attachedAtEnd);
  QVERIFY(workerAtEnd);  // the session ends while the worker still runs
  w.dialog.reset();
  QCOMPARE(w.session.endCalls.load(), 1);
  QCOMPARE(w.session.stopCalls.load(), 1);
  QVERIFY(!w.session.WorkerRunning());
}

void DialogTest::workerCallsAfterTheWindowIsGoneAreHarmless() {
  auto delivery = std::make_unique<ControlDelivery>();
  FakeSession session(*delivery, FakeSession::SampleRecord());
  auto dialog = std::make_unique<CQXCLIENTDlg>(session, *delivery);
  dialog->show();
  QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  session.RunFreely();
  QTRY_VERIFY(session.StepsPublished() > 20);
  dialog->reject();
  // Between the window's end and the object's, the worker keeps mining; its
  // operations are dropped instead of reaching controls.
  const int published = session.StepsPublished();
  QTRY_VERIFY(session.StepsPublished() > published + 20);
  QCOMPARE(delivery->PendingOperationCount(), std::size_t{0});
  QCOMPARE(delivery->PendingPaneBytes(LogPane::kMining), std::size_t{0});
  dialog.reset();
  QVERIFY(!session.WorkerRunning());
  QCOMPARE(session.endCalls.load(), 1);
}

QTEST_MAIN(DialogTest)
#include "dialog_test.moc"
