#pragma once
// The client itself, without a window: it owns the machine record, runs the session,
// the mining worker and the four exchanges with the service, and shows everything
// through a WindowLayer. The dialog owns one of these.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "client/client_environment.h"
#include "client/session_counters.h"
#include "client/session_hooks.h"
#include "client/window_layer.h"
#include "core/machine_state.h"
#include "mining/thread.h"
#include "update/update_gate.h"

class UrlFetcher;

// The warning for a start-up whose machine information got no answer: the root asked,
// and for a root on this machine the command that starts the local service.
std::string NoAnswerAtStartUpText(const std::string& serviceRoot);

class MinerCore : public SessionHooks {
 public:
  MinerCore(const ClientEnvironment& env, WindowLayer& window);
  ~MinerCore() override;  // stops the worker before the record goes away

  // Session
  void StartSession() override;
  void ToggleMining() override;
  void EndSession() override;
  void StopWorker() override { Stop(); }

  // The worker (mining loop) on its own thread; Stop also aborts a transfer under way.
  void StartWorker() { worker_.StartWorker(); }
  void Stop() { worker_.Stop(); }
  bool Running() const { return worker_.Running(); }
  const std::atomic<bool>& StopRequested() const { return worker_.StopRequested(); }

  // Operations of the running client
  void RefreshDashboard();
  void AppendLog(LogPane pane, const char* text);
  void MiningStep();
  void ReportStatus();
  void LoadMachineInfo();
  void SendPowerState(int state);

  // One pass of the worker loop (what Run does after each 1 ms wait).
  void WorkerPass();

  // Passes the worker loop has run, for the pass-rate probe and the soak program:
  // one relaxed increment per pass, nothing else.
  uint64_t WorkerPassCount() const { return workerPasses_.load(std::memory_order_relaxed); }
  // Steps, reports and update attempts so far, for a watcher outside the client.
  SessionCounts Counts() const { return counters_.Read(); }

  // A consistent copy of the record, and locked access for set-up in tests.
  MachineState Snapshot() const;
  template <class F>
  void WithState(F&& f) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    f(state_);
  }

 private:
  void Run();  // the mining loop, the worker's body
  // The step itself. The worker's pass asks for it only while mining, checked under the
  // lock the step takes, so a Stop that lands after the pass's first check is not
  // followed by one more step and a refresh that would overwrite the click's caption.
  void Step(bool onlyWhileMining);
  // Fetches into the reply file `name` when the reply folder is private; false (and a
  // debug line) when it is not, and the answer was dropped.
  bool FetchReply(UrlFetcher& fetcher, const std::string& url, const char* name);
  // Sets `fetcher` up for one exchange with the service: the authorities, `limits` and,
  // when `abortable`, the stop's flag (the power notices go out whatever the worker does).
  void OpenExchange(UrlFetcher& fetcher, const FetchLimits& limits, bool abortable);
  // One line of the debug output: the text, then "\r\n".
  void DebugLine(const std::string& text);
  // Whether the offered version is to be fetched now; explains a refusal once.
  bool UpdateWanted(const std::string& offered, const std::string& clientVersion);

  ClientEnvironment env_;
  WindowLayer& window_;
  mutable std::mutex stateMutex_;
  MachineState state_;
  std::atomic<uint64_t> workerPasses_{0};
  SessionCounters counters_;
  UpdateGate updateGate_;             // the worker's: which offered versions this run still fetches
  Thread worker_{[this] { Run(); }};  // last: stopped and joined before the rest goes
};
