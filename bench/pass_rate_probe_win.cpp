// pass_rate_probe_win: the Windows client in its real Win32 window, mining against a
// running mining-service, measured side by side with the ceiling of 1 ms waits here.
//
//   pass_rate_probe_win --service-root http://127.0.0.1:PORT [--seconds 30]
//                       [--ceiling-seconds 10] [--warm-up 3] [--minimized] [--no-alongside]
//
// The service must hold the demo machine KST-DEMO-0001 and offer version 0.216, the one
// the client is given, so that no update starts (scripts/bench-windows runs it so).
// Phases: the bare loops alone (the worker's own wait, and a plain Sleep(1) on a thread
// prepared as the worker's); then the client with its window shown, warmed up, then
// measured while a bare loop of the worker's wait runs alongside; the bare loops alone
// once more. The window runs on the main thread, as in QX_CLIENT.exe; a driver thread
// measures, switches mining back on when the service switched it off, and closes the
// window with the Cancel command at the end. With --minimized the window is minimised
// for the warm-up and the measurement. With --no-alongside no bare loop runs beside the
// client: under Wine every timed wait is a round trip to one single-threaded server, so
// a second timer loop beside the worker slows the worker's own round trips, which the
// loops measured alone never see.
//
// Besides passes and CPU it counts the calls the program makes into USER and GDI per
// second of mining (all of them the window's while it runs: the driver makes none
// between clicks), and the WM_PAINT and WM_TIMER messages the window and its controls
// handle: figures that do not depend on how fast the system carries the calls out. The client's pass rate is
// also given as a share of each bare loop's, since under an emulation layer only that
// ratio says something about Windows.
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bare_loop.h"
#include "client/client_environment.h"
#include "client/miner_core.h"
#include "core/control_ids.h"
#include "experience_watch.h"
#include "probe_clock.h"
#include "probe_options.h"
#include "step_counting_layer.h"
#include "support/sandbox.h"
#include "ui/common/control_delivery.h"
#include "ui/win32/qxclient_dlg.h"
#include "user_call_counter_win.h"

namespace {

constexpr char kDemoSerial[] = "KST-DEMO-0001";
constexpr char kVersion[] = "0.216";  // offered by the service and kept by the client: no update
constexpr wchar_t kWorkerName[] = L"miner-worker";

struct Options : ProbeOptions {
  std::string serviceRoot;
  bool minimized = false;
  bool alongside = true;  // a bare loop runs beside the client while it is measured
};

bool ParseArgs(int argc, char** argv, Options& o) {
  CLI::App app;
  AddProbeOptions(app, o);
  app.add_option("--service-root", o.serviceRoot)->check(command_line::NotAnOption());
  app.add_flag("--minimized", o.minimized);
  bool noAlongside = false;
  app.add_flag("--no-alongside", noAlongside);
  if (!ParseProbeOptions(app, argc, argv, o, nullptr)) return false;
  o.alongside = !noAlongside;
  // Loopback only: the probe talks to the stand-in service the script started.
  // It writes no summary file: its table is all it prints.
  return o.serviceRoot.rfind("http://127.0.0.1:", 0) == 0 && o.summaryPath.empty() && o.Valid();
}

// Wine's version when running under Wine, else empty.
std::string WineVersion() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
  if (found == nullptr) return "";
  using VersionFunction = const char*(CDECL*)();
  return reinterpret_cast<VersionFunction>(reinterpret_cast<void*>(found))();
}

double ThreadCpuSecondsOf(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (thread == nullptr || !GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
  const auto units = [](const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  };
  return static_cast<double>(units(kernel) + units(user)) / 1e7;
}

// The thread of this process with the given description (Windows 10 1607 and later, and
// Wine, describe threads), opened for its times; nullptr unless exactly one has it.
HANDLE OpenThreadNamed(const wchar_t* name) {
  using DescriptionFunction = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetThreadDescription") : nullptr;
  if (found == nullptr) return nullptr;
  const auto describe = reinterpret_cast<DescriptionFunction>(reinterpret_cast<void*>(found));
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE match = nullptr;
  int matches = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
    if (thread == nullptr) continue;
    PWSTR description = nullptr;
    const bool named = SUCCEEDED(describe(thread, &description)) && description != nullptr &&
                       std::wstring(description) == name;
    if (description != nullptr) LocalFree(description);
    if (named && ++matches == 1) {
      match = thread;
    } else {
      CloseHandle(thread);
    }
  }
  CloseHandle(snapshot);
  if (matches != 1 && match != nullptr) {
    CloseHandle(match);
    match = nullptr;
  }
  return match;
}

// The main dialog of the given thread once it is visible, or nullptr when `gone` is set
// or 30 s pass first.
HWND WaitForDialog(DWORD threadId, const std::atomic<bool>& gone) {
  const double deadline = MonotonicSeconds() + 30;
  while (!gone.load() && MonotonicSeconds() < deadline) {
    HWND found = nullptr;
    EnumThreadWindows(
        threadId,
        [](HWND window, LPARAM param) -> BOOL {
          wchar_t name[16] = {};
          GetClassNameW(window, name, 16);
          if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
          *reinterpret_cast<HWND*>(param) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found != nullptr) return found;
    Sleep(20);
  }
  return nullptr;
}

LoopFigures Mean(const LoopFigures& a, const LoopFigures& b) {
  return LoopFigures{(a.passes + b.passes) / 2, (a.ms100 + b.ms100) / 2, (a.cpu + b.cpu) / 2};
}

bool Mining(MinerCore& core) {
  bool on = false;
  core.WithState([&on](MachineState& s) { on = s.onOff == 1; });
  return on;
}

// Keeps the window running for `seconds`, clicking Start/Stop whenever the service
// switched mining off. Returns how many times it had to.
int KeepMining(MinerCore& core, HWND dialog, double seconds) {
  int restarts = 0;
  const double end = MonotonicSeconds() + seconds;
  while (MonotonicSeconds() < end) {
    Sleep(200);
    if (Mining(core)) continue;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kIdStartStop, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, kIdStartStop)));
    ++restarts;
    // The click is carried out on the window's thread; one click per switch-off.
    for (int i = 0; i < 50 && !Mining(core); ++i) Sleep(20);
  }
  return restarts;
}

struct Figures {
  LoopFigures bareBefore, bareAfter, bareAlongside;
  LoopFigures sleepBefore, sleepAfter;
  double clientPasses = 0;
  double clientSteps = 0;
  int seconds = 0;
  int credited = 0;
  double clientCpu = -1;  // CPU seconds per wall second; -1 when not readable
  double windowThreadCpu = -1;
  double workerCpu = -1;
  int restarts = 0;
  bool minimizedAtEnd = false;  // the window was minimised when the measurement ended
  double userCalls = -1;        // calls into USER and GDI per second; -1 when not counted
  double paints = -1;           // WM_PAINT messages per second
  double timers = -1;           // WM_TIMER messages per second
  std::vector<std::pair<std::string, double>> callsByFunction;  // per second, most first
};

// A share in per cent, or -1 when the base is missing.
double Share(double part, double whole) { return whole > 0 && part >= 0 ? 100.0 * part / whole : -1; }

std::string Number(double value, const char* format) {
  if (value < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void Row(const char* label, const std::string& bare, const std::string& sleep, const std::string& client,
         const char* goal) {
  std::printf("%-44s %10s %10s %10s   %s\n", label, bare.c_str(), sleep.c_str(), client.c_str(), goal);
}

void Print(const Figures& f, const Options& o) {
  const std::string wine = WineVersion();
  const LoopFigures bare = Mean(f.bareBefore, f.bareAfter);
  const LoopFigures sleep = Mean(f.sleepBefore, f.sleepAfter);
  const double ceiling = std::max(bare.passes, f.bareAlongside.passes);
  const double credited = f.seconds > 0 ? 100.0 * f.credited / f.seconds : -1;
  std::printf("pass-rate probe, Windows build (%s): Win32 window %s, %d s mining after %d s warm-up\n\n",
              wine.empty() ? "Windows" : ("Wine " + wine).c_str(), o.minimized ? "minimized" : "shown",
              o.seconds, o.warmUpSeconds);
  Row("", "bare loop", "Sleep(1)", "client", "goal");
  Row("passes per second", Number(ceiling, "%.1f"), Number(sleep.passes, "%.1f"),
      Number(f.clientPasses, "%.1f"), ">= 950");
  Row("  as a share of the ceiling, %", "", "",
      Number(ceiling > 0 ? 100 * f.clientPasses / ceiling : -1, "%.1f"), "");
  Row("  alone, before the client", Number(f.bareBefore.passes, "%.1f"), Number(f.sleepBefore.passes, "%.1f"),
      "", "");
  Row("  alone, after the client", Number(f.bareAfter.passes, "%.1f"), Number(f.sleepAfter.passes, "%.1f"),
      "", "");
  Row("  bare loop alongside the client", Number(f.bareAlongside.passes, "%.1f"), "", "", "");
  Row("mining steps per second", "", "", Number(f.clientSteps, "%.1f"), "");
  Row("seconds with experience credited, %", Number(100 * f.bareAlongside.ms100, "%.1f"),
      Number(100 * sleep.ms100, "%.1f"), Number(credited, "%.1f"), "");
  // The client against each bare loop of this run: the figures that carry over to Windows.
  Row("client passes as a share of each loop's, %", Number(Share(f.clientPasses, ceiling), "%.1f"),
      Number(Share(f.clientPasses, sleep.passes), "%.1f"), "", ">= 98");
  Row("client credited as a share of each loop's, %",
      Number(Share(credited, 100 * f.bareAlongside.ms100), "%.1f"),
      Number(Share(credited, 100 * sleep.ms100), "%.1f"), "", ">= 98");
  Row("CPU seconds per wall second", Number(bare.cpu, "%.3f"), Number(sleep.cpu, "%.3f"),
      Number(f.clientCpu, "%.3f"), "");
  Row("  of which the window's thread", "", "", Number(f.windowThreadCpu, "%.3f"), "");
  Row("  of which the worker", "", "", Number(f.workerCpu, "%.3f"), "");
  std::printf("%-44s %10s %10s %10d\n", "mining switched back on", "", "", f.restarts);
  std::printf("%-44s %10s %10s %10s\n", "window minimised at the end", "", "",
              f.minimizedAtEnd ? "yes" : "no");
  Row("USER and GDI calls per second", "", "", Number(f.userCalls, "%.0f"), "");
  Row("WM_PAINT messages per second", "", "", Number(f.paints, "%.1f"), "");
  Row("WM_TIMER messages per second", "", "", Number(f.timers, "%.1f"), "");
  Row("  USER and GDI calls per WM_TIMER", "", "", Number(f.timers > 0 ? f.userCalls / f.timers : -1, "%.0f"),
      "");
  for (std::size_t i = 0; i < f.callsByFunction.size() && i < 12; ++i) {
    const std::string label = "  " + f.callsByFunction[i].first;
    Row(label.c_str(), "", "", Number(f.callsByFunction[i].second, "%.0f"), "");
  }
  std::printf(
      "\n(%d of %d seconds credited. Bare loop: the worker's wait to the next millisecond and a clock\n"
      "read, nothing else; Sleep(1): a plain 1 ms sleep at a 1 ms timer period. Their \"credited\" is\n"
      "the share of seconds with a pass at millisecond 100, alongside the client for the bare loop.)\n",
      f.credited, f.seconds);
}

// The window's session, driven from a second thread while the window runs on this one.
int RunClient(const Options& o, Figures& f, UserCallCounter* counter) {
  Sandbox box;
  const std::string install = box.MakeDir("install");
  WriteFileBytes(install + "\\config.ini", std::string("[SerialNo]\r\nNo=") + kDemoSerial +
                                               "\r\n[Version]\r\nClient=" + kVersion + "\r\n");
  SystemServices services;
  ClientEnvironment env = services.Environment();
  env.serviceRoot = o.serviceRoot;
  env.patchRoot = o.serviceRoot;
  env.installDir = install;
  env.tempDir = box.MakeDir("temp") + "\\";
  env.closingPause = std::chrono::milliseconds(100);  // the real pause is 2 s; nothing here waits on it

  // Destroyed in reverse, as in the program: the window (which stops the worker), the
  // client, the layers.
  ControlDelivery delivery;
  StepCountingLayer counting(delivery);
  MinerCore core(env, counting);
  CQXCLIENTDlg window(core, delivery, GetModuleHandleW(nullptr));

  const DWORD windowThreadId = GetCurrentThreadId();
  HANDLE windowThread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, windowThreadId);
  std::atomic<bool> windowGone{false};
  bool measured = false;
  std::thread driver([&] {
    HWND dialog = WaitForDialog(windowThreadId, windowGone);
    if (dialog == nullptr) {
      if (windowGone.load()) return;
      // A window that never showed cannot be closed from here; nor can the run go on.
      std::fprintf(stderr, "pass_rate_probe_win: the window did not show within 30 s\n");
      std::_Exit(1);
    }
    if (counter != nullptr && !counter->WatchMessages(dialog)) {
      std::fprintf(stderr, "pass_rate_probe_win: WM_PAINT and WM_TIMER are not counted\n");
    }
    f.restarts += KeepMining(core, dialog, o.warmUpSeconds);
    // Minimised once it has settled (a display may still be activating it before), and
    // again should activation have restored it.
    for (int i = 0; o.minimized && i < 25 && !IsIconic(dialog); ++i) {
      SendMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      Sleep(200);
    }

    HANDLE worker = OpenThreadNamed(kWorkerName);  // before the bare loop, named alike, starts
    const double worker0 = ThreadCpuSecondsOf(worker);
    ExperienceWatch watch(core);
    BareLoop bare;
    if (o.alongside) bare.StartWorker();
    const uint64_t passes0 = core.WorkerPassCount();
    const uint64_t steps0 = counting.MiningSteps();
    const double cpu0 = ProcessCpuSeconds();
    const double window0 = ThreadCpuSecondsOf(windowThread);
    const uint64_t calls0 = counter != nullptr ? counter->Calls() : 0;
    const uint64_t paints0 = counter != nullptr ? counter->Paints() : 0;
    const uint64_t timers0 = counter != nullptr ? counter->Timers() : 0;
    const auto byFunction0 =
        counter != nullptr ? counter->ByFunction() : std::vector<std::pair<std::string, uint64_t>>{};
    const double t0 = MonotonicSeconds();
    const int64_t firstSecond = WallSecond() + 1;

    f.restarts += KeepMining(core, dialog, o.seconds);

    const double elapsed = MonotonicSeconds() - t0;
    const int64_t endSecond = WallSecond();  // the seconds before this one are complete
    const uint64_t passes1 = core.WorkerPassCount();
    const uint64_t steps1 = counting.MiningSteps();
    const uint64_t calls1 = counter != nullptr ? counter->Calls() : 0;
    const uint64_t paints1 = counter != nullptr ? counter->Paints() : 0;
    const uint64_t timers1 = counter != nullptr ? counter->Timers() : 0;
    const auto byFunction1 =
        counter != nullptr ? counter->ByFunction() : std::vector<std::pair<std::string, uint64_t>>{};
    const double window1 = ThreadCpuSecondsOf(windowThread);
    f.minimizedAtEnd = IsIconic(dialog) != FALSE;
    const double worker1 = ThreadCpuSecondsOf(worker);
    const int64_t bareFirst = firstSecond;
    bare.Stop();
    watch.Finish();
    const double cpu1 = ProcessCpuSeconds();

    f.bareAlongside.passes = o.alongside ? bare.Passes() / elapsed : -1;
    f.seconds = endSecond > firstSecond ? static_cast<int>(endSecond - firstSecond) : 0;
    f.bareAlongside.ms100 =
        f.seconds > 0 ? static_cast<double>(bare.SecondsWithMillisecond100(bareFirst, endSecond)) / f.seconds
                      : 0;
    if (!o.alongside) f.bareAlongside.ms100 = -1;  // shown as "-"
    f.clientPasses = (passes1 - passes0) / elapsed;
    f.clientSteps = (steps1 - steps0) / elapsed;
    f.credited = watch.CreditedSeconds(firstSecond, endSecond);
    if (cpu0 >= 0 && cpu1 >= 0)
      f.clientCpu = (cpu1 - cpu0 - bare.CpuSeconds() - watch.CpuSeconds()) / elapsed;
    if (window0 >= 0 && window1 >= 0) f.windowThreadCpu = (window1 - window0) / elapsed;
    if (worker0 >= 0 && worker1 >= 0) f.workerCpu = (worker1 - worker0) / elapsed;
    if (worker != nullptr) CloseHandle(worker);
    if (counter != nullptr) {
      f.userCalls = (calls1 - calls0) / elapsed;
      f.paints = (paints1 - paints0) / elapsed;
      f.timers = (timers1 - timers0) / elapsed;
      for (const auto& [name, n] : byFunction1) {
        uint64_t before = 0;
        for (const auto& [name0, n0] : byFunction0) {
          if (name0 == name) before = n0;
        }
        if (n > before) f.callsByFunction.emplace_back(name, (n - before) / elapsed);
      }
      std::sort(f.callsByFunction.begin(), f.callsByFunction.end(),
                [](const auto& a, const auto& b) { return a.second > b.second; });
    }
    measured = true;
    // The Cancel command, as a user closing the window: power-off notice, closing pause.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  const INT_PTR result = window.DoModal();
  windowGone.store(true);
  driver.join();
  if (windowThread != nullptr) CloseHandle(windowThread);
  if (result == -1) {
    std::fprintf(stderr, "pass_rate_probe_win: the window could not be created\n");
    return 1;
  }
  if (!measured) {
    std::fprintf(stderr, "pass_rate_probe_win: the window closed before the measurement ended\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: pass_rate_probe_win --service-root http://127.0.0.1:PORT [--seconds N] "
                 "[--ceiling-seconds N] [--warm-up N] [--minimized] [--no-alongside]\n");
    return 2;
  }
  // Before any window exists, so that every call of the window is counted.
  UserCallCounter counter;
  const bool counting = counter.Install();
  if (!counting) std::fprintf(stderr, "pass_rate_probe_win: USER and GDI calls are not counted\n");
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  // The ceilings alone are measured before and after the client, so that a load of the
  // machine that changes meanwhile weighs on both sides alike.
  Figures f;
  f.bareBefore = MeasureBareLoop(o.ceilingSeconds, BareWait::kWorker);
  f.sleepBefore = MeasureBareLoop(o.ceilingSeconds, BareWait::kSleep);
  if (const int status = RunClient(o, f, counting ? &counter : nullptr); status != 0) return status;
  f.bareAfter = MeasureBareLoop(o.ceilingSeconds, BareWait::kWorker);
  f.sleepAfter = MeasureBareLoop(o.ceilingSeconds, BareWait::kSleep);
  Print(f, o);
  std::fflush(stdout);
  return 0;
}
