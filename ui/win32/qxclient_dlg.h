#pragma once
// The main window on Windows: a modal dialog on template 102, one mining machine. It shows
// what the client writes through its window layer, and runs the session: StartSession
// while it is initialised (before it is first shown), ToggleMining on the Start/Stop
// button, EndSession while it is destroyed, and the worker's stop when the object goes.
#include <windows.h>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "client/session_hooks.h"
#include "ui/common/control_delivery.h"
#include "ui/common/control_sink.h"
#include "ui/win32/paint_pacer.h"

class CQXCLIENTDlg final : private ControlSink {
 public:
  // `delivery` is the window layer the client writes to; it must outlive the client's
  // worker. The window attaches to it while it exists and detaches when it is destroyed.
  CQXCLIENTDlg(SessionHooks& hooks, ControlDelivery& delivery, HINSTANCE instance);
  ~CQXCLIENTDlg();
  CQXCLIENTDlg(const CQXCLIENTDlg&) = delete;
  CQXCLIENTDlg& operator=(const CQXCLIENTDlg&) = delete;

  // Creates the window, runs it until OK or Cancel ends it, and destroys it.
  // IDOK, IDCANCEL, or -1 when the window could not be created.
  INT_PTR DoModal();

  HWND Window() const { return window_; }
  int TargetCoinChoice() const { return targetCoinChoice_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  BOOL OnInitDialog();
  // True when handled; ids 16 to 31 open the About box.
  bool OnSysCommand(UINT commandId);
  bool OnPaint();
  HICON OnQueryDragIcon() const { return mainIcon_; }
  void OnDestroy();
  void OnCommand(int id, int notification);
  void OnStartStop();
  // Radio group <-> targetCoinChoice; towards the controls when !toVariables.
  void DoDataExchange(bool toVariables);
  HWND PaneEdit(LogPane pane) const;
  // The control of an id, looked up once.
  HWND Control(int controlId);
  void OnPaneEdited(LogPane pane);
  // Whether the control shows `text`, once set on it, exactly as given (its class and
  // style are looked at once).
  bool ShowsTextAsGiven(int controlId, HWND control, const std::wstring& text);
  // Checks or clears a check box or radio button.
  void ShowMark(int controlId, bool checked);
  std::size_t PaneLength(HWND edit) const;

  // ControlSink: the window's thread carries out the client's control operations.
  void ApplyText(int controlId, std::string_view text) override;
  void ApplyCheck(int controlId, int state) override;
  void ApplyRadio(int firstId, int lastId, int position) override;
  void ApplyPaneText(LogPane pane, bool clearFirst, std::string_view text) override;

  SessionHooks& hooks_;
  ControlDelivery& delivery_;
  HINSTANCE instance_;
  HWND window_ = nullptr;
  HICON mainIcon_ = nullptr;
  int targetCoinChoice_ = 0;
  HWND autoChargeCheck_ = nullptr;
  HWND miningLogEdit_ = nullptr;
  HWND eventLogEdit_ = nullptr;
  bool initialised_ = false;
  bool everActive_ = false;
  bool destroyed_ = false;
  bool applyingPane_ = false;  // a pane change of ours, not the user's
  PaintPacer pacer_;           // carries out what the worker published, at a reading pace
  std::map<int, HWND> controls_;
  // The text each control showed when this window last set it; a control the user
  // changes since (any notification it sends) is forgotten and read again.
  std::map<int, std::wstring> shownTexts_;
  enum class TextKind { kAsGiven, kAsGivenOnOneLine, kReadBack };
  std::map<int, TextKind> textKinds_;
  // Likewise the mark of each check box and radio button.
  std::map<int, WPARAM> shownMarks_;
  bool applyingText_ = false;  // a text change of ours, not the user's
};
