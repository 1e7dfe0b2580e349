// The Win32 main window on a real display: it runs the session hooks at the right
// moments, shows what a worker publishes at its own pace (code page 949 texts as
// Unicode, the pane rule in the real edit controls), relabels Start/Stop on a click,
// carries the About command on its system menu and gives the focus to the serial field.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/control_ids.h"
#include "core/log_pane_rule.h"
#include "core/machine_state.h"
#include "dashboard/dashboard_render.h"
#include "ui/common/control_delivery.h"
#include "ui/win32/qxclient_dlg.h"

namespace {

using namespace std::chrono_literals;

std::wstring Text(HWND window) {
  wchar_t text[8192] = {};
  GetWindowTextW(window, text, 8192);
  return text;
}

bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

// What the test saw of the live window, gathered on the test's driving thread.
struct Seen {
  bool sawWindow = false;
  std::wstring serial, name, location, caption, fuel;
  bool ethChecked = false, kestChecked = true, autoCharge = false;
  std::wstring eventPane;
  std::wstring captionAfterClick;
  int toggledOnce = 0;
  std::wstring lastMenuText;
  UINT lastMenuId = 0;
  bool separatorBeforeIt = false;
  bool focusOnSerial = false, activeWasDialog = false;
  int focusedId = 0;
  int endSessionsWhileOpen = 0;
  // Per round (after the refresh, after a click): the target-coin buttons with a tab
  // stop, the ones Tab reached in one round from the serial field, and the stops visited.
  std::vector<int> radiosWithTabStop[2];
  std::vector<int> tabReachedRadios[2];
  int tabStops[2] = {};
};

class FakeSession final : public SessionHooks {
 public:
  explicit FakeSession(ControlDelivery& delivery) : delivery_(delivery) {}
  ~FakeSession() override { Join(); }

  void StartSession() override {
    ++starts;
    // The worker publishes from its own thread; the window shows it at its own pace.
    worker_ = std::thread([this] {
      MachineState s;
      std::strcpy(s.serialNo, "KST-0001");
      std::strcpy(s.machineName, "\xB1\xE8\xC3\xA4\xB1\xBC");  // code page 949
      s.location = 12.5;
      s.fuel = 480;
      s.level = 5;
      s.targetCoin = 2;
      s.autoCharge = 1;
      s.onOff = 1;
      DashboardView view;
      RenderDashboard(s, view);
      delivery_.ShowDashboard(view);
      // 40 lines of 110 bytes: the pane passes 4096 and is emptied before the 38th.
      for (int i = 0; i < 40; ++i) {
        std::string line = "line " + std::to_string(i) + " " + std::string(100, 'x');
        line.resize(108, '.');
        delivery_.AppendToPane(LogPane::kEvent, (line + "\r\n").c_str());
      }
    });
  }
  void ToggleMining() override {
    ++toggles;
    delivery_.SetControlText(kIdStartStop, "Stop");
  }
  void EndSession() override { ++ends; }
  void StopWorker() override {
    ++stops;
    Join();
  }

  std::atomic<int> starts{0}, toggles{0}, ends{0}, stops{0};

 private:
  void Join() {
    if (worker_.joinable()) worker_.join();
  }
  ControlDelivery& delivery_;
  std::thread worker_;
};

// The pane as the rule leaves it after the 40 lines above.
std::wstring ExpectedEventPane() {
  std::string pane;
  for (int i = 0; i < 40; ++i) {
    std::string line = "line " + std::to_string(i) + " " + std::string(100, 'x');
    line.resize(108, '.');
    AppendUnderPaneRule(pane, line + "\r\n");
  }
  return std::wstring(pane.begin(), pane.end());
}

TEST(MainWindowTest, RunsTheSessionAndShowsWhatTheWorkerPublishes) {
  ControlDelivery delivery;
  FakeSession session(delivery);
  Seen seen;
  const DWORD windowThread = GetCurrentThreadId();
  {
    CQXCLIENTDlg dialog(session, delivery, GetModuleHandleW(nullptr));
    std::thread driver([&] {
      if (!WaitFor([&] { return dialog.Window() != nullptr && IsWindowVisible(dialog.Window()); })) {
        return;
      }
      HWND w = dialog.Window();
      seen.sawWindow = true;
      WaitFor([&] { return Text(GetDlgItem(w, kIdSerialNo)) == L"KST-0001"; });
      WaitFor([&] { return Text(GetDlgItem(w, kIdEventLog)).size() < 4096; });
      std::this_thread::sleep_for(100ms);
      seen.serial = Text(GetDlgItem(w, kIdSerialNo));
      seen.name = Text(GetDlgItem(w, kIdMachineName));
      seen.location = Text(GetDlgItem(w, kIdLocation));
      seen.fuel = Text(GetDlgItem(w, kIdFuel));
      seen.caption = Text(GetDlgItem(w, kIdStartStop));
      seen.ethChecked = SendMessageW(GetDlgItem(w, 1043), BM_GETCHECK, 0, 0) == BST_CHECKED;
      seen.kestChecked = SendMessageW(GetDlgItem(w, 1041), BM_GETCHECK, 0, 0) == BST_CHECKED;
      seen.autoCharge = SendMessageW(GetDlgItem(w, kIdAutoCharge), BM_GETCHECK, 0, 0) == BST_CHECKED;
      seen.eventPane = Text(GetDlgItem(w, kIdEventLog));

      // Without a window manager the display may activate the window late or never; then
      // the test activates it, as a user's click would, and the focus must still land on
      // the serial-number field.
      GUITHREADINFO info = {};
      const auto focusOnSerial = [&] {
        info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(windowThread, &info);
        return info.hwndFocus == GetDlgItem(w, kIdSerialNo);
      };
      seen.focusOnSerial = WaitFor(focusOnSerial);
      if (!seen.focusOnSerial) {
        SetForegroundWindow(w);
        seen.focusOnSerial = WaitFor(focusOnSerial);
      }
      seen.focusedId = info.hwndFocus != nullptr ? GetDlgCtrlID(info.hwndFocus) : 0;
      seen.activeWasDialog = info.hwndActive == w;

      // The refresh checked ETH; a click checks KEST (and takes the focus, so this comes
      // after the focus check). Each time the checked button is the group's tab stop, as
      // the system makes it, so a keyboard reaches the group.
      for (int round = 0; round < 2; ++round) {
        if (round == 1) SendMessageW(GetDlgItem(w, kIdTargetKest), BM_CLICK, 0, 0);
        for (int id = kIdTargetKest; id <= kIdTargetAll; ++id) {
          if (GetWindowLongPtrW(GetDlgItem(w, id), GWL_STYLE) & WS_TABSTOP)
            seen.radiosWithTabStop[round].push_back(id);
        }
        HWND start = GetDlgItem(w, kIdSerialNo);
        HWND at = start;
        do {
          at = GetNextDlgTabItem(w, at, FALSE);
          const int id = at != nullptr ? GetDlgCtrlID(at) : 0;
          if (id >= kIdTargetKest && id <= kIdTargetAll) seen.tabReachedRadios[round].push_back(id);
          ++seen.tabStops[round];
        } while (at != nullptr && at != start && seen.tabStops[round] < 200);
      }
      // Put ETH back, as the refresh left it, for the checks below.
      SendMessageW(GetDlgItem(w, 1043), BM_CLICK, 0, 0);

      HMENU menu = GetSystemMenu(w, FALSE);
      const int count = GetMenuItemCount(menu);
      wchar_t text[128] = {};
      GetMenuStringW(menu, count - 1, text, 128, MF_BYPOSITION);
      seen.lastMenuText = text;
      seen.lastMenuId = GetMenuItemID(menu, count - 1);
      seen.separatorBeforeIt = (GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR) != 0;

      SendMessageW(GetDlgItem(w, kIdStartStop), BM_CLICK, 0, 0);
      seen.toggledOnce = session.toggles.load();
      seen.captionAfterClick = Text(GetDlgItem(w, kIdStartStop));
      seen.endSessionsWhileOpen = session.ends.load();
      // Escape: the Cancel command ends the dialog.
      PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
    });
    dialog.DoModal();
    driver.join();
    EXPECT_EQ(session.ends.load(), 1);  // while the window was destroyed
    EXPECT_EQ(session.stops.load(), 0);
    EXPECT_EQ(dialog.TargetCoinChoice(), 2);
  }
  EXPECT_EQ(session.stops.load(), 1);  // when the window object went
  EXPECT_EQ(session.starts.load(), 1);

  ASSERT_TRUE(seen.sawWindow) << "the window never became visible";
  EXPECT_EQ(seen.serial, L"KST-0001");
  EXPECT_EQ(seen.name, L"\uAE40\uCC44\uAD74");  // the code page 949 name as Korean
  EXPECT_EQ(seen.location, L"12.500000 \u00B0");
  EXPECT_EQ(seen.fuel, L"480 / 500 gas");
  EXPECT_EQ(seen.caption, L"STOP");
  EXPECT_TRUE(seen.ethChecked);
  EXPECT_FALSE(seen.kestChecked);
  EXPECT_TRUE(seen.autoCharge);
  EXPECT_EQ(seen.eventPane, ExpectedEventPane());
  const int checkedInRound[2] = {1043, kIdTargetKest};  // ETH by the refresh, then KEST by the click
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(seen.radiosWithTabStop[round], std::vector<int>{checkedInRound[round]}) << "round " << round;
    EXPECT_EQ(seen.tabReachedRadios[round], std::vector<int>{checkedInRound[round]}) << "round " << round;
    EXPECT_GT(seen.tabStops[round], 3);  // the walk went round the dialog's other stops
    EXPECT_LT(seen.tabStops[round], 200);
  }
  EXPECT_EQ(seen.tabStops[1], seen.tabStops[0]) << "a click moves the group's stop, adds none";
  EXPECT_TRUE(seen.focusOnSerial) << "focus on control " << seen.focusedId
                                  << ", dialog active: " << seen.activeWasDialog;
  EXPECT_EQ(seen.lastMenuText, L"QX_CLIENT \uC815\uBCF4(&A)...");
  EXPECT_EQ(seen.lastMenuId, 0x10u);
  EXPECT_TRUE(seen.separatorBeforeIt);
  EXPECT_EQ(seen.toggledOnce, 1);
  EXPECT_EQ(seen.captionAfterClick, L"Stop");
  EXPECT_EQ(seen.endSessionsWhileOpen, 0);
}

}  // namespace
