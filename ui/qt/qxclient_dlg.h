#pragma once
// The main window: dialog template 102, one mining machine. It shows what the client
// writes through its window layer, and runs the session: StartSession while it is
// initialised (before it is first shown), ToggleMining on the Start/Stop button,
// EndSession when it is closed, and the worker's stop when the object goes away.
#include <QDialog>
#include <QIcon>

#include "client/session_hooks.h"
#include "ui/common/control_delivery.h"
#include "ui/common/control_sink.h"
#include "ui/qt/cp949_text.h"
#include "ui/qt/template_builder.h"

class PaintPacer;
class QCheckBox;
class QPlainTextEdit;

class CQXCLIENTDlg final : public QDialog, private ControlSink {
  Q_OBJECT

 public:
  // `delivery` is the window layer the client writes to; it must outlive the client's
  // worker. The window attaches to it while it is shown and detaches when it closes.
  CQXCLIENTDlg(SessionHooks& hooks, ControlDelivery& delivery, QWidget* parent = nullptr);
  ~CQXCLIENTDlg() override;

  QWidget* Item(int id) const { return widgets_.Item(id); }
  const TemplateWidgets& Widgets() const { return widgets_; }
  const DialogUnits& Units() const { return units_; }
  int TargetCoinChoice() const { return targetCoinChoice_; }

  // A command of the window menu: ids 16 to 31 open the About box.
  void OnSysCommand(unsigned commandId);

  void setVisible(bool visible) override;
  void accept() override;
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnInitDialog();
  void OnDestroy();
  void OnStartStop();
  // Radio group <-> targetCoinChoice; towards the controls when !toVariables.
  void DoDataExchange(bool toVariables);
  QPlainTextEdit* PaneEdit(LogPane pane) const;
  void OnPaneEdited(LogPane pane);

  // ControlSink: the window's thread carries out the client's control operations.
  void ApplyText(int controlId, std::string_view text) override;
  void ApplyCheck(int controlId, int state) override;
  void ApplyRadio(int firstId, int lastId, int position) override;
  void ApplyPaneText(LogPane pane, bool clearFirst, std::string_view text) override;

  SessionHooks& hooks_;
  ControlDelivery& delivery_;
  QIcon mainIcon_;
  int targetCoinChoice_ = 0;
  QCheckBox* autoChargeCheck_ = nullptr;
  QPlainTextEdit* miningLogEdit_ = nullptr;
  QPlainTextEdit* eventLogEdit_ = nullptr;

  DialogUnits units_;
  TemplateWidgets widgets_;
  PaintPacer* pacer_ = nullptr;  // carries out what the worker published, at a reading pace
  Cp949Text text_;
  bool initialised_ = false;
  bool destroyed_ = false;
  bool applyingPane_ = false;  // a pane change of ours, not the user's
};
