#include "ui/qt/qxclient_dlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/control_ids.h"
#include "ui/common/dialog_template.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/cached_panel_style.h"
#include "ui/qt/log_pane_edit.h"
#include "ui/qt/paint_pacer.h"
#include "ui/qt/resource_images.h"

namespace {

// The dialog manager takes Enter and Escape whether Shift or Ctrl is held; Alt makes
// them system keys, which it leaves alone.
bool OnlyShiftOrCtrl(const QKeyEvent* event) {
  const Qt::KeyboardModifiers mods =
      event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier | Qt::ControlModifier);
  return mods == Qt::NoModifier;
}

bool IsEnter(const QKeyEvent* event) {
  const bool key = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  return key && OnlyShiftOrCtrl(event);
}

bool IsEscape(const QKeyEvent* event) { return event->key() == Qt::Key_Escape && OnlyShiftOrCtrl(event); }

}  // namespace

CQXCLIENTDlg::CQXCLIENTDlg(SessionHooks& hooks, ControlDelivery& delivery, QWidget* parent)
    : QDialog(parent), hooks_(hooks), delivery_(delivery), mainIcon_(MainIcon()) {
  const DialogTemplate& t = MainDialogTemplate();
  setWindowTitle(QString::fromUtf8(t.title));
  // A main window of its own (taskbar button), resizable, with a close box but neither
  // a minimise nor a maximise box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(TemplateFont(t));
  units_ = DialogUnits::ForFont(font());
  // Created before the controls so that, as the dialog's first child, it goes first.
  // Only on the style whose kept pictures were checked to match its own drawing.
  CachedPanelStyle* panelStyle = nullptr;
  if (CachedPanelStyle::Suits(*QApplication::style())) {
    panelStyle = new CachedPanelStyle;
    panelStyle->setParent(this);
  }
  widgets_ = BuildTemplate(t, this, units_);
  // No layout: resizing the window moves no control.
  resize(units_.X(t.cx), units_.Y(t.cy));

  autoChargeCheck_ = qobject_cast<QCheckBox*>(Item(kIdAutoCharge));
  miningLogEdit_ = qobject_cast<QPlainTextEdit*>(Item(kIdMiningLog));
  eventLogEdit_ = qobject_cast<QPlainTextEdit*>(Item(kIdEventLog));
  for (QPlainTextEdit* pane : {miningLogEdit_, eventLogEdit_}) {
    if (pane != nullptr) PrepareLogPane(pane);
  }

  // The fields show figures, addresses and names that the worker rewrites every picture;
  // mapping their characters straight to glyphs spares each new text the full shaper
  // (Latin and Hangul need no shaping; scripts that do are still shaped). The labels keep
  // the kerned widths their rectangles were fitted to.
  QFont fieldFont = font();
  fieldFont.setStyleStrategy(QFont::PreferNoShaping);
  for (const BuiltItem& built : widgets_.Items()) {
    if (qobject_cast<QLineEdit*>(built.widget)) built.widget->setFont(fieldFont);
    if (panelStyle != nullptr &&
        (qobject_cast<QLineEdit*>(built.widget) || qobject_cast<QGroupBox*>(built.widget))) {
      built.widget->setStyle(panelStyle);
    }
    built.widget->installEventFilter(this);
    if (auto* combo = qobject_cast<QComboBox*>(built.widget); combo && combo->lineEdit()) {
      combo->lineEdit()->installEventFilter(this);
    }
  }
  if (auto* startStop = qobject_cast<QPushButton*>(Item(kIdStartStop))) {
    connect(startStop, &QPushButton::clicked, this, &CQXCLIENTDlg::OnStartStop);
  }
  if (miningLogEdit_ != nullptr) {
    connect(miningLogEdit_, &QPlainTextEdit::textChanged, this, [this] { OnPaneEdited(LogPane::kMining); });
  }
  if (eventLogEdit_ != nullptr) {
    connect(eventLogEdit_, &QPlainTextEdit::textChanged, this, [this] { OnPaneEdited(LogPane::kEvent); });
  }
  pacer_ = new PaintPacer(this, [this] { delivery_.ApplyPending(); });
}

CQXCLIENTDlg::~CQXCLIENTDlg() {
  OnDestroy();  // a window that was never closed still ends its session
  hooks_.StopWorker();
}

void CQXCLIENTDlg::setVisible(bool visible) {
  const bool first = visible && !initialised_ && !destroyed_;
  if (first) {
    initialised_ = true;
    OnInitDialog();
  }
  QDialog::setVisible(visible);
  if (first) {
    if (QWidget* serial = Item(kIdSerialNo)) serial->setFocus(Qt::OtherFocusReason);
  }
}

void CQXCLIENTDlg::OnInitDialog() {
  const DialogTemplate& t = MainDialogTemplate();
  AddComboInitData(t, widgets_);
  DoDataExchange(false);
  setWindowIcon(mainIcon_);
  delivery_.Attach(this, text_.ClientLength(miningLogEdit_->toPlainText()),
                   text_.ClientLength(eventLogEdit_->toPlainText()));
  pacer_->Start();
  // The download, the first dashboard, the power-on notice and the worker's start all
  // happen before the window is first shown.
  hooks_.StartSession();
}

void CQXCLIENTDlg::OnDestroy() {
  if (!initialised_ || destroyed_) return;
  destroyed_ = true;
  pacer_->Stop();
  // From here on the worker's control operations are dropped.
  delivery_.Detach();
  hooks_.EndSession();
}

void CQXCLIENTDlg::accept() {
  DoDataExchange(true);
  QDialog::accept();
}

void CQXCLIENTDlg::done(int result) {
  QDialog::done(result);
  OnDestroy();
}

void CQXCLIENTDlg::OnStartStop() {
  // The click's own caption must be the last word: show what the worker published first.
  delivery_.ApplyPending();
  hooks_.ToggleMining();
}

void CQXCLIENTDlg::OnSysCommand(unsigned commandId) {
  if ((commandId & 0xFFF0u) != kAboutCommandId) return;
  auto* about = new CAboutDlg(this);
  about->setAttribute(Qt::WA_DeleteOnClose);
  about->open();
}

void CQXCLIENTDlg::DoDataExchange(bool toVariables) {
  if (toVariables) {
    QButtonGroup* group = widgets_.RadioGroupOf(kIdTargetKest);
    const int checked = group != nullptr ? group->checkedId() : -1;
    targetCoinChoice_ = checked < 0 ? -1 : checked - kIdTargetKest;
  } else {
    ApplyRadio(kIdTargetKest, kIdTargetAll, targetCoinChoice_);
  }
}

void CQXCLIENTDlg::keyPressEvent(QKeyEvent* event) {
  if (IsEnter(event)) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool CQXCLIENTDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (IsEscape(key)) {
    reject();
    return true;
  }
  if (!IsEnter(key)) return false;
  // Enter clicks a focused push button, is a line break in a log pane, and is the OK
  // command everywhere else.
  if (auto* button = qobject_cast<QPushButton*>(watched)) {
    button->click();
    return true;
  }
  if (auto* pane = qobject_cast<QPlainTextEdit*>(watched)) {
    // A plain line break, also with Shift or Ctrl (which the edit would take otherwise).
    if (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) {
      pane->insertPlainText(QStringLiteral("\n"));
      return true;
    }
    return false;
  }
  accept();
  return true;
}

void CQXCLIENTDlg::contextMenuEvent(QContextMenuEvent* event) {
  // The About command belongs on the window menu; where the window system offers none
  // to extend, the window's own context menu carries it.
  const QString text = QString::fromUtf8(AboutCommandText());
  if (text.isEmpty()) return;
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  QAction* about = menu->addAction(text);
  connect(about, &QAction::triggered, this, [this] { OnSysCommand(kAboutCommandId); });
  menu->popup(event->globalPos());
}

QPlainTextEdit* CQXCLIENTDlg::PaneEdit(LogPane pane) const {
  return pane == LogPane::kMining ? miningLogEdit_ : eventLogEdit_;
}

void CQXCLIENTDlg::OnPaneEdited(LogPane pane) {
  if (applyingPane_ || destroyed_) return;
  delivery_.NotePaneEdited(pane, text_.ClientLength(PaneEdit(pane)->toPlainText()));
}

void CQXCLIENTDlg::ApplyText(int controlId, std::string_view bytes) {
  QWidget* widget = Item(controlId);
  if (widget == nullptr) return;
  const QString text = text_.ToUnicode(bytes);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != text) {
      edit->setText(text);
      edit->setCursorPosition(0);  // show a long text from its start
    }
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    if (combo->currentText() != text) {
      combo->setEditText(text);
      if (combo->lineEdit() != nullptr) combo->lineEdit()->setCursorPosition(0);
    }
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    if (button->text() != text) button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->text() != text) label->setText(text);
  } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
    if (box->title() != text) box->setTitle(text);
  } else if (auto* pane = qobject_cast<QPlainTextEdit*>(widget)) {
    const QString lines = PaneLineBreaks(text);
    if (pane->toPlainText() != lines) {
      applyingPane_ = true;
      pane->setPlainText(lines);
      applyingPane_ = false;
    }
  }
}

void CQXCLIENTDlg::ApplyCheck(int controlId, int state) {
  auto* check = qobject_cast<QCheckBox*>(Item(controlId));
  if (check == nullptr) return;
  // A two-state box shows every value other than 0 as checked.
  const bool checked = state != 0;
  if (check->isChecked() != checked) check->setChecked(checked);
}

void CQXCLIENTDlg::ApplyRadio(int firstId, int lastId, int position) {
  if (firstId == kIdTargetKest) targetCoinChoice_ = position;
  const int target = (position >= 0 && position <= lastId - firstId) ? firstId + position : -1;
  bool changes = false;
  for (int id = firstId; id <= lastId; ++id) {
    auto* radio = qobject_cast<QAbstractButton*>(Item(id));
    if (radio != nullptr && radio->isChecked() != (id == target)) changes = true;
  }
  if (!changes) return;
  // An exclusive group cannot be emptied; let go of it while the marks change.
  QButtonGroup* group = widgets_.RadioGroupOf(firstId);
  if (group != nullptr) group->setExclusive(false);
  for (int id = firstId; id <= lastId; ++id) {
    auto* radio = qobject_cast<QAbstractButton*>(Item(id));
    if (radio != nullptr && radio->isChecked() != (id == target)) radio->setChecked(id == target);
  }
  if (group != nullptr) group->setExclusive(true);
}

void CQXCLIENTDlg::ApplyPaneText(LogPane pane, bool clearFirst, std::string_view bytes) {
  QPlainTextEdit* edit = PaneEdit(pane);
  if (edit == nullptr) return;
  applyingPane_ = true;
  ApplyPaneFrame(edit, clearFirst, bytes.empty() ? QString() : PaneLineBreaks(text_.ToUnicode(bytes)));
  applyingPane_ = false;
}
