#include "fake_session.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/dashboard_view.h"
#include "dashboard/dashboard_render.h"

namespace {

void CopyText(char* dest, std::size_t size, const char* text) { std::snprintf(dest, size, "%s", text); }

}  // namespace

FakeSession::FakeSession(WindowLayer& window, const MachineState& record) : window_(window), state_(record) {}

FakeSession::~FakeSession() { StopWorker(); }

MachineState FakeSession::SampleRecord() {
  MachineState s;
  s.priceKest = 2.0;
  s.priceBtc = 40000.0;
  CopyText(s.serialNo, sizeof s.serialNo, "KV-0001-TEST");
  CopyText(s.macText, sizeof s.macText, "00-11-22-33-44-55");
  CopyText(s.machineName, sizeof s.machineName, "\xC8\xAD\xBC\xBA-7");  // "화성-7"
  CopyText(s.clientVersion, sizeof s.clientVersion, "0.216");
  CopyText(s.serverVersion, sizeof s.serverVersion, "0.216");
  CopyText(s.marsName, sizeof s.marsName, "Diacria quadrangle");
  s.location = 12.5;
  s.level = 5;
  s.fuel = 480;
  s.exp = 70;
  s.autoCharge = 1;
  s.targetCoin = 2;
  s.onOff = 1;
  s.machineKest = 1.5;
  s.activeUsers = 12;
  s.activeMachines = 34;
  CopyText(s.marsAddress[kCoinKest], sizeof s.marsAddress[0], "KSTmarsKestAddress0001");
  CopyText(s.userAddress[kCoinKest], sizeof s.userAddress[0], "KSTuserKestAddress0001");
  s.balanceKest = 10.0;
  return s;
}

void FakeSession::StartSession() {
  ++startCalls;
  if (onStart) onStart();
  window_.AppendToPane(LogPane::kEvent, "Initialize..\r\n");
  window_.AppendToPane(LogPane::kEvent, "Downloading Machine Information..\r\n");
  DashboardView view;
  std::string name;
  int onOff = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    RenderDashboard(state_, view);
    name = state_.machineName;
    onOff = state_.onOff;
  }
  window_.ShowDashboard(view);
  if (onOff == 1) {
    window_.AppendToPane(LogPane::kEvent, name.c_str());
    window_.AppendToPane(LogPane::kEvent, " Start Mining..\r\n");
  }
  if (!worker_.joinable()) {
    workerRunning_ = true;
    worker_ = std::thread([this] { WorkerLoop(); });
  }
}

void FakeSession::ToggleMining() {
  ++toggleCalls;
  std::string name;
  bool nowOn = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    nowOn = state_.onOff != 1;
    state_.onOff = nowOn ? 1 : 0;
    name = state_.machineName;
  }
  window_.AppendToPane(LogPane::kEvent, name.c_str());
  window_.AppendToPane(LogPane::kEvent, nowOn ? " Start Mining..\r\n" : " Stop Mining..\r\n");
  window_.SetControlText(1000, nowOn ? "Stop" : "Start");
  wake_.notify_all();
}

void FakeSession::EndSession() {
  ++endCalls;
  if (onEnd) onEnd();
}

void FakeSession::StopWorker() {
  ++stopCalls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  workerRunning_ = false;
}

void FakeSession::RequestSteps(int count) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pendingSteps_ += count;
  }
  wake_.notify_all();
}

void FakeSession::RunFreely() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    freeRunning_ = true;
  }
  wake_.notify_all();
}

int FakeSession::OnOff() {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_.onOff;
}

void FakeSession::WorkerLoop() {
  DashboardView view;
  char block[512];
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      const auto canStep = [this] {
        return stopping_ || (state_.onOff == 1 && (freeRunning_ || pendingSteps_ > 0));
      };
      if (freeRunning_) {
        wake_.wait_for(lock, std::chrono::milliseconds(1), canStep);
      } else {
        wake_.wait(lock, canStep);
      }
      if (stopping_) return;
      if (state_.onOff != 1) continue;
      if (!freeRunning_) --pendingSteps_;
      // One mining step: the record moves on, the dashboard and a log block follow.
      ++tick_;
      state_.exp += 1;
      state_.machineKest += 0.000125;
      state_.buriedKest -= 0.000125;
      RenderDashboard(state_, view);
      std::snprintf(block, sizeof block, "(%d) %lf KEST - Mining complete\r\n Hash : QXx%s\r\n", tick_,
                    0.000125, "0123456789abcdef0123456789abcdef");
    }
    // Published outside the lock, never waiting for the window.
    window_.ShowDashboard(view);
    window_.AppendToPane(LogPane::kMining, block);
    ++stepsPublished_;
  }
}
