// The Win32 main window shows what the worker changes at a reading pace and only while
// it can be seen: a minimised or hidden window is not painted and shows the newest state
// the moment it is back; a flooded pane still ends on its newest lines, in view; a click
// is carried out at once, with what the worker published before it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "core/control_ids.h"
#include "core/log_pane_rule.h"
#include "core/machine_state.h"
#include "dashboard/dashboard_render.h"
#include "ui/common/control_delivery.h"
#include "ui/common/reading_pace.h"
#include "ui/win32/qxclient_dlg.h"

namespace {

using namespace std::chrono_literals;

std::wstring Text(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), n + 1)));
  return text;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

// WM_PAINT messages the window's thread takes for the dialog and its controls.
std::atomic<HWND> watchedDialog{nullptr};
std::atomic<HWND> watchedPane{nullptr};
std::atomic<int> dialogPaints{0};
std::atomic<int> panePaints{0};

LRESULT CALLBACK CountPaints(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    HWND dialog = watchedDialog.load();
    if (message->message == WM_PAINT && dialog != nullptr &&
        (message->hwnd == dialog || IsChild(dialog, message->hwnd))) {
      ++dialogPaints;
      if (message->hwnd == watchedPane.load()) ++panePaints;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

class IdleSession final : public SessionHooks {
 public:
  explicit IdleSession(ControlDelivery& delivery) : delivery_(delivery) {}
  void StartSession() override {}
  void ToggleMining() override {
    ++toggles;
    delivery_.AppendToPane(LogPane::kEvent, "toggled\r\n");
    delivery_.SetControlText(kIdStartStop, "Start");
  }
  void EndSession() override {}
  void StopWorker() override {}
  std::atomic<int> toggles{0};

 private:
  ControlDelivery& delivery_;
};

// The record after `step` mining steps, as far as these tests look at it.
DashboardView ViewAfter(int step, int targetCoin = 0, int autoCharge = 0) {
  MachineState s;
  std::snprintf(s.serialNo, sizeof s.serialNo, "KST-0001");
  s.level = 5;
  s.exp = step;
  s.onOff = 1;
  s.targetCoin = targetCoin;
  s.autoCharge = autoCharge;
  DashboardView view;
  RenderDashboard(s, view);
  return view;
}

std::wstring ExpText(int step) {
  const DashboardView view = ViewAfter(step);
  for (const DashboardField& field : view.fields) {
    if (field.controlId == kIdExp) return Wide(field.text);
  }
  return L"<no exp field>";
}

std::string Line(int n) { return "step " + std::to_string(n) + " ...............................\r\n"; }

// Publishes steps [from, to) from a thread of its own, as the worker does, and returns
// once they are all published; `pane` collects the appends under the pane rule.
void Publish(ControlDelivery& delivery, int from, int to, std::string& pane) {
  std::thread worker([&] {
    for (int i = from; i < to; ++i) {
      delivery.ShowDashboard(ViewAfter(i));
      delivery.AppendToPane(LogPane::kMining, Line(i).c_str());
    }
  });
  worker.join();
  for (int i = from; i < to; ++i) AppendUnderPaneRule(pane, Line(i));
}

// Runs the dialog on this thread and `drive` on another; the drive ends with Cancel.
void RunDialog(ControlDelivery& delivery, IdleSession& session, const std::function<void(HWND)>& drive) {
  CQXCLIENTDlg dialog(session, delivery, GetModuleHandleW(nullptr));
  const DWORD windowThread = GetCurrentThreadId();
  std::thread driver([&] {
    if (!WaitFor([&] { return dialog.Window() != nullptr && IsWindowVisible(dialog.Window()); })) {
      ADD_FAILURE() << "the window never became visible";
      return;
    }
    HWND w = dialog.Window();
    watchedDialog = w;
    watchedPane = GetDlgItem(w, kIdMiningLog);
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, CountPaints, nullptr, windowThread);
    EXPECT_NE(hook, nullptr);
    drive(w);
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    watchedDialog = nullptr;
    PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
  });
  dialog.DoModal();
  driver.join();
}

struct AwayCase {
  const char* name;
  std::function<void(HWND)> leave;
  std::function<bool(HWND)> away;
  std::function<void(HWND)> come_back;
};

TEST(ReadingPaceTest, UnseenWindowPaintsNothingAndReturnsCurrent) {
  const AwayCase cases[] = {
      {"minimised", [](HWND w) { SendMessageW(w, WM_SYSCOMMAND, SC_MINIMIZE, 0); },
       [](HWND w) { return IsIconic(w) != FALSE; },
       [](HWND w) { SendMessageW(w, WM_SYSCOMMAND, SC_RESTORE, 0); }},
      {"hidden", [](HWND w) { ShowWindow(w, SW_HIDE); }, [](HWND w) { return IsWindowVisible(w) == FALSE; },
       [](HWND w) { ShowWindow(w, SW_SHOW); }},
  };
  for (const AwayCase& c : cases) {
    SCOPED_TRACE(c.name);
    ControlDelivery delivery;
    IdleSession session(delivery);
    RunDialog(delivery, session, [&](HWND w) {
      HWND exp = GetDlgItem(w, kIdExp);
      HWND pane = GetDlgItem(w, kIdMiningLog);
      std::string expected;
      Publish(delivery, 0, 10, expected);
      ASSERT_TRUE(WaitFor([&] { return Text(exp) == ExpText(9) && Text(pane) == Wide(expected); }));

      c.leave(w);
      ASSERT_TRUE(WaitFor([&] { return c.away(w); }));
      std::this_thread::sleep_for(200ms);  // the leaving's own pictures
      dialogPaints = 0;
      Publish(delivery, 10, 400, expected);  // the pane passes its limit many times
      std::this_thread::sleep_for(std::chrono::milliseconds(6 * kReadingPaceMs));
      EXPECT_EQ(dialogPaints.load(), 0);
      // Nothing was applied meanwhile (else the return below would prove nothing).
      EXPECT_EQ(Text(exp), ExpText(9));

      c.come_back(w);
      // Back, with the newest state in place before any timer has run.
      EXPECT_EQ(Text(exp), ExpText(399));
      EXPECT_EQ(Text(pane), Wide(expected));
      EXPECT_TRUE(WaitFor([&] { return dialogPaints.load() > 0; }));
    });
  }
}

TEST(ReadingPaceTest, FloodedPaneEndsOnItsNewestLinesInView) {
  ControlDelivery delivery;
  IdleSession session(delivery);
  RunDialog(delivery, session, [&](HWND w) {
    HWND pane = GetDlgItem(w, kIdMiningLog);
    std::string expected;
    panePaints = 0;
    const auto start = std::chrono::steady_clock::now();
    // About a second of mining: steps a millisecond apart, in bursts as the worker's
    // waits come.
    for (int i = 0; i < 1000; i += 10) {
      Publish(delivery, i, i + 10, expected);
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(WaitFor([&] { return Text(pane) == Wide(expected); }));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    // At the reading pace the pane is painted at most once an interval, and it was painted.
    EXPECT_GT(panePaints.load(), 0);
    EXPECT_LE(panePaints.load(), elapsed.count() / (kReadingPaceMs * 8 / 10) + 2) << elapsed.count() << " ms";

    const std::wstring text = Text(pane);
    ASSERT_GE(text.size(), Line(999).size());
    EXPECT_EQ(text.substr(text.size() - Line(999).size()), Wide(Line(999)));
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    EXPECT_EQ(selEnd, text.size());  // the caret at the end
    // The newest line is in view.
    const LRESULT at =
        SendMessageW(pane, EM_POSFROMCHAR, static_cast<WPARAM>(text.size() - Line(999).size()), 0);
    RECT client;
    GetClientRect(pane, &client);
    const int y = static_cast<short>(HIWORD(at));
    EXPECT_GE(y, client.top);
    EXPECT_LT(y, client.bottom);
  });
}

// Unchanged fields cost the window nothing from one picture to the next, yet a field the
// user typed into is rewritten by the next refresh even when the refresh's text is the one
// the window set before.
TEST(ReadingPaceTest, TypedTextGivesWayToTheNextRefresh) {
  ControlDelivery delivery;
  IdleSession session(delivery);
  RunDialog(delivery, session, [&](HWND w) {
    HWND serial = GetDlgItem(w, kIdSerialNo);
    HWND exp = GetDlgItem(w, kIdExp);
    std::string pane;
    for (int round = 0; round < 3; ++round) {
      const int step = 10 * round;
      Publish(delivery, step, step + 1, pane);
      ASSERT_TRUE(WaitFor([&] { return Text(exp) == ExpText(step); }));
      EXPECT_EQ(Text(serial), L"KST-0001");
      // The user selects the field's text and types over it.
      SendMessageW(serial, EM_SETSEL, 0, -1);
      SendMessageW(serial, WM_CHAR, L'q', 0);
      EXPECT_EQ(Text(serial), L"q");
    }
    Publish(delivery, 100, 101, pane);
    ASSERT_TRUE(WaitFor([&] { return Text(exp) == ExpText(100); }));
    EXPECT_EQ(Text(serial), L"KST-0001");
  });
}

bool Checked(HWND dialog, int id) {
  return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Likewise a radio button or check box the user clicked is set back by the next refresh,
// though the refresh's marks are the ones the window set before.
TEST(ReadingPaceTest, ClickedMarksGiveWayToTheNextRefresh) {
  struct Click {
    const char* name;
    int id;  // the button clicked
  };
  const Click clicks[] = {{"another radio button", kIdTargetKest}, {"the check box", kIdAutoCharge}};
  ControlDelivery delivery;
  IdleSession session(delivery);
  RunDialog(delivery, session, [&](HWND w) {
    HWND exp = GetDlgItem(w, kIdExp);
    const auto publish = [&](int step) {
      std::thread worker([&] { delivery.ShowDashboard(ViewAfter(step, 2, 1)); });  // ETH, auto-charge on
      worker.join();
      return WaitFor([&] { return Text(exp) == ExpText(step); });
    };
    const auto asPublished = [&] {
      for (int id = kIdTargetKest; id <= kIdTargetAll; ++id) {
        if (Checked(w, id) != (id == 1043)) return false;
      }
      return Checked(w, kIdAutoCharge);
    };
    ASSERT_TRUE(publish(0));
    EXPECT_TRUE(asPublished());
    int step = 1;
    for (const Click& click : clicks) {
      SCOPED_TRACE(click.name);
      for (int round = 0; round < 2; ++round, ++step) {
        SendMessageW(GetDlgItem(w, click.id), BM_CLICK, 0, 0);
        if (click.id == kIdTargetKest) {
          EXPECT_TRUE(Checked(w, kIdTargetKest) && !Checked(w, 1043));
        }
        if (click.id == kIdAutoCharge) {
          EXPECT_FALSE(Checked(w, kIdAutoCharge));
        }
        ASSERT_TRUE(publish(step));
        EXPECT_TRUE(asPublished());
      }
    }
  });
}

TEST(ReadingPaceTest, ClickIsCarriedOutAtOnceWithWhatCameBeforeIt) {
  ControlDelivery delivery;
  IdleSession session(delivery);
  RunDialog(delivery, session, [&](HWND w) {
    HWND exp = GetDlgItem(w, kIdExp);
    HWND button = GetDlgItem(w, kIdStartStop);
    HWND events = GetDlgItem(w, kIdEventLog);
    for (int round = 0; round < 5; ++round) {
      std::string pane;
      // A step is published and the click follows at once, each round at another point
      // of the pace's interval.
      const int step = 100 + round;
      Publish(delivery, step, step + 1, pane);
      SendMessageW(button, BM_CLICK, 0, 0);
      EXPECT_EQ(session.toggles.load(), round + 1);
      EXPECT_EQ(Text(exp), ExpText(step));  // the step came first
      EXPECT_EQ(Text(button), L"Start");    // then the click's own caption
      const std::wstring log = Text(events);
      EXPECT_GE(log.size(), 9u);
      EXPECT_EQ(log.substr(log.size() - 9), L"toggled\r\n");
      std::this_thread::sleep_for(std::chrono::milliseconds(kReadingPaceMs / 3 + 7 * round));
    }
  });
}

}  // namespace
