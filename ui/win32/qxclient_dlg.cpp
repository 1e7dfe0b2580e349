#include "ui/win32/qxclient_dlg.h"

#include <string>
#include <utility>

#include "core/control_ids.h"
#include "ui/common/dialog_template.h"
#include "ui/win32/about_dlg.h"
#include "ui/win32/resource.h"
#include "ui/win32/wide_text.h"

namespace {

std::wstring FromUtf8(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(n - 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
  return wide;
}

std::wstring WindowText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  if (n <= 0) return {};
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), n + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

}  // namespace

CQXCLIENTDlg::CQXCLIENTDlg(SessionHooks& hooks, ControlDelivery& delivery, HINSTANCE instance)
    : hooks_(hooks),
      delivery_(delivery),
      instance_(instance),
      mainIcon_(LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      pacer_(delivery) {}

CQXCLIENTDlg::~CQXCLIENTDlg() {
  // The worker uses the window layer until it has stopped; it goes before anything else.
  hooks_.StopWorker();
}

INT_PTR CQXCLIENTDlg::DoModal() {
  return DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_QX_CLIENT_DIALOG), nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CQXCLIENTDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // The window met last on this thread, and its object: every picture sends the dialog a
  // score of messages (its timer, the controls' colours and change notes), each of which
  // would otherwise look the object up in the window.
  thread_local HWND lastWindow = nullptr;
  thread_local CQXCLIENTDlg* lastSelf = nullptr;
  CQXCLIENTDlg* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CQXCLIENTDlg*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
  } else if (window == lastWindow) {
    self = lastSelf;
  } else {
    self = reinterpret_cast<CQXCLIENTDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  lastWindow = window;
  lastSelf = self;
  const INT_PTR result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    self->window_ = nullptr;
    lastWindow = nullptr;
    lastSelf = nullptr;
  }
  return result;
}

INT_PTR CQXCLIENTDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (pacer_.OnMessage(message, wParam)) return TRUE;
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_SYSCOMMAND: return OnSysCommand(static_cast<UINT>(wParam)) ? TRUE : FALSE;
    case WM_PAINT: return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      // One of the few messages whose answer is the procedure's own return value.
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_ACTIVATE:
      // Shown without activation (a start from the background, a display that activates
      // it later), the dialog has no saved focus to restore, and the dialog manager would
      // leave it on the window or the first radio button. So its first activation while
      // not minimised puts the focus where the initialisation meant it to be; later ones
      // restore as usual.
      if (LOWORD(wParam) != WA_INACTIVE && !everActive_ && !IsIconic(window_)) {
        everActive_ = true;
        SetFocus(GetDlgItem(window_, kIdSerialNo));
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY: OnDestroy(); return TRUE;
    default: break;
  }
  (void)lParam;
  return FALSE;
}

BOOL CQXCLIENTDlg::OnInitDialog() {
  initialised_ = true;
  autoChargeCheck_ = GetDlgItem(window_, kIdAutoCharge);
  miningLogEdit_ = GetDlgItem(window_, kIdMiningLog);
  eventLogEdit_ = GetDlgItem(window_, kIdEventLog);

  // The combo box's list items, from the template's initialisation data.
  for (const ComboInitData& init : MainDialogTemplate().comboInit) {
    for (const char* item : init.items) {
      const std::wstring text = FromUtf8(item);
      SendDlgItemMessageW(window_, init.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
  }
  DoDataExchange(false);

  if (HMENU systemMenu = GetSystemMenu(window_, FALSE)) {
    wchar_t text[256] = {};
    if (LoadStringW(instance_, IDS_ABOUTBOX, text, 256) > 0 && text[0] != L'\0') {
      AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
    }
  }
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(mainIcon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(mainIcon_));

  delivery_.Attach(this, PaneLength(miningLogEdit_), PaneLength(eventLogEdit_));
  pacer_.Start(window_);
  // The download, the first dashboard, the power-on notice and the worker's start all
  // happen before the window is first shown.
  hooks_.StartSession();
  // The focus starts in the serial-number field, the first field of the tab order. Left
  // to the dialog manager it would land on the KEST radio button: checking a radio button
  // gives it a tab stop, and the group stands first in the template.
  SetFocus(GetDlgItem(window_, kIdSerialNo));
  return FALSE;
}

bool CQXCLIENTDlg::OnSysCommand(UINT commandId) {
  if ((commandId & 0xFFF0u) != IDM_ABOUTBOX) return false;
  CAboutDlg about(instance_);
  about.DoModal(window_);
  return true;
}

bool CQXCLIENTDlg::OnPaint() {
  if (!IsIconic(window_)) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int cxIcon = GetSystemMetrics(SM_CXICON);
  const int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(window_, &rect);
  const int x = (rect.right - rect.left - cxIcon + 1) / 2;
  const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  DrawIcon(dc, x, y, mainIcon_);
  EndPaint(window_, &paint);
  return true;
}

void CQXCLIENTDlg::OnCommand(int id, int notification) {
  // Whatever the user did to a control, what it shows is no longer known; a click on a
  // radio button changes the others of its group too.
  if (!applyingText_) {
    shownTexts_.erase(id);
    if (id >= kIdTargetKest && id <= kIdTargetAll) {
      for (int radio = kIdTargetKest; radio <= kIdTargetAll; ++radio) shownMarks_.erase(radio);
    } else {
      shownMarks_.erase(id);
    }
  }
  switch (id) {
    case IDOK:
      DoDataExchange(true);
      EndDialog(window_, IDOK);
      break;
    case IDCANCEL: EndDialog(window_, IDCANCEL); break;
    case kIdStartStop:
      if (notification == BN_CLICKED) OnStartStop();
      break;
    case kIdMiningLog:
      if (notification == EN_CHANGE) OnPaneEdited(LogPane::kMining);
      break;
    case kIdEventLog:
      if (notification == EN_CHANGE) OnPaneEdited(LogPane::kEvent);
      break;
    default:
      // The other buttons, the sector list, the check box and the radio buttons have no
      // command: a click changes only the control's own state (and, for a radio button,
      // which of its group is the tab stop: the system moves it to the checked one).
      break;
  }
}

void CQXCLIENTDlg::OnStartStop() {
  // The click's own caption must be the last word: show what the worker published first.
  delivery_.ApplyPending();
  hooks_.ToggleMining();
}

void CQXCLIENTDlg::OnDestroy() {
  if (!initialised_ || destroyed_) return;
  destroyed_ = true;
  pacer_.Stop();
  // From here on the worker's control operations are dropped.
  delivery_.Detach();
  hooks_.EndSession();
}

void CQXCLIENTDlg::DoDataExchange(bool toVariables) {
  if (toVariables) {
    targetCoinChoice_ = -1;
    for (int id = kIdTargetKest; id <= kIdTargetAll; ++id) {
      if (IsDlgButtonChecked(window_, id) == BST_CHECKED) {
        targetCoinChoice_ = id - kIdTargetKest;
        break;
      }
    }
  } else {
    ApplyRadio(kIdTargetKest, kIdTargetAll, targetCoinChoice_);
  }
}

HWND CQXCLIENTDlg::PaneEdit(LogPane pane) const {
  return pane == LogPane::kMining ? miningLogEdit_ : eventLogEdit_;
}

std::size_t CQXCLIENTDlg::PaneLength(HWND edit) const {
  return edit != nullptr ? ClientLength(WindowText(edit)) : 0;
}

void CQXCLIENTDlg::OnPaneEdited(LogPane pane) {
  if (applyingPane_ || destroyed_) return;
  delivery_.NotePaneEdited(pane, PaneLength(PaneEdit(pane)));
}

HWND CQXCLIENTDlg::Control(int controlId) {
  const auto found = controls_.find(controlId);
  if (found != controls_.end()) return found->second;
  HWND control = GetDlgItem(window_, controlId);
  controls_.emplace(controlId, control);
  return control;
}

bool CQXCLIENTDlg::ShowsTextAsGiven(int controlId, HWND control, const std::wstring& text) {
  auto known = textKinds_.find(controlId);
  if (known == textKinds_.end()) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
    TextKind kind = TextKind::kReadBack;
    if (_wcsicmp(name, L"Static") == 0) {
      kind = TextKind::kAsGiven;
    } else if (_wcsicmp(name, L"Edit") == 0 && (style & (ES_UPPERCASE | ES_LOWERCASE | ES_OEMCONVERT)) == 0) {
      kind = (style & ES_MULTILINE) != 0 ? TextKind::kAsGiven : TextKind::kAsGivenOnOneLine;
    }
    known = textKinds_.emplace(controlId, kind).first;
  }
  switch (known->second) {
    case TextKind::kAsGiven: return true;
    case TextKind::kAsGivenOnOneLine:
      // A one-line edit may show a line break otherwise, or cut the text there.
      return text.find_first_of(L"\r\n") == std::wstring::npos;
    case TextKind::kReadBack: break;
  }
  return false;
}

void CQXCLIENTDlg::ApplyText(int controlId, std::string_view bytes) {
  HWND control = Control(controlId);
  if (control == nullptr) return;
  const std::wstring text = ToWide(bytes);
  const bool pane = control == miningLogEdit_ || control == eventLogEdit_;
  // A control already showing the text is not touched (no flicker, no caret jump). Most
  // fields keep their text from one picture to the next: compared with what this window
  // last set, they cost no call at all; a control without such a record is read.
  const auto known = shownTexts_.find(controlId);
  if (known != shownTexts_.end()) {
    if (known->second == text) return;
  } else {
    std::wstring shown = WindowText(control);
    const bool same = shown == text;
    if (!pane) shownTexts_.emplace(controlId, std::move(shown));
    if (same) return;
  }
  if (pane) applyingPane_ = true;
  applyingText_ = true;
  SetWindowTextW(control, text.c_str());
  applyingText_ = false;
  if (pane) applyingPane_ = false;
  if (pane) return;
  // What the control made of it: a static or an edit that changes no case shows the text
  // as given; anything else (a combo box may refuse a text) is read back once.
  if (ShowsTextAsGiven(controlId, control, text)) {
    shownTexts_[controlId] = text;
  } else {
    shownTexts_[controlId] = WindowText(control);
  }
}

void CQXCLIENTDlg::ShowMark(int controlId, bool checked) {
  HWND button = Control(controlId);
  if (button == nullptr) return;
  const WPARAM mark = checked ? BST_CHECKED : BST_UNCHECKED;
  // As with the texts: a button already showing the mark this window gave it costs no
  // call; one the user clicked since is read again.
  const auto known = shownMarks_.find(controlId);
  if (known != shownMarks_.end() && known->second == mark) return;
  if (known != shownMarks_.end() || static_cast<WPARAM>(SendMessageW(button, BM_GETCHECK, 0, 0)) != mark) {
    SendMessageW(button, BM_SETCHECK, mark, 0);
  }
  shownMarks_[controlId] = mark;
}

void CQXCLIENTDlg::ApplyCheck(int controlId, int state) {
  // A two-state box shows every value other than 0 as checked.
  ShowMark(controlId, state != 0);
}

void CQXCLIENTDlg::ApplyRadio(int firstId, int lastId, int position) {
  if (firstId == kIdTargetKest) targetCoinChoice_ = position;
  const int target = (position >= 0 && position <= lastId - firstId) ? firstId + position : -1;
  for (int id = firstId; id <= lastId; ++id) ShowMark(id, id == target);
}

void CQXCLIENTDlg::ApplyPaneText(LogPane pane, bool clearFirst, std::string_view bytes) {
  HWND edit = PaneEdit(pane);
  if (edit == nullptr) return;
  applyingPane_ = true;
  // The emptying, the caret's move, the scroll and the insertion each repaint the edit
  // on their own; with its redrawing off they land as one picture, painted once.
  SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
  if (clearFirst) SetWindowTextW(edit, L"");
  // Caret to the end, scrolled into view, the text put in its place without undo.
  const int end = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  if (!bytes.empty()) {
    const std::wstring text = ToWide(bytes);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
  // Text and scroll bar alike.
  RedrawWindow(edit, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  applyingPane_ = false;
}
