#pragma once
// The whole client in its real window against a local mining-service with a database of
// its own, for the programs that measure it over time (the pass-rate probe, the soak).
// Everything lives in a temporary folder that goes away with the object.
//
// Build it and call Start() on the Qt main thread with a QApplication in place; Close()
// ends the session the way the Cancel command does.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/client_environment.h"
#include "client/window_layer.h"
#include "probe_clock.h"
#include "step_counting_layer.h"
#include "support/mining_service_process.h"
#include "support/sandbox.h"

class CQXCLIENTDlg;
class ControlDelivery;
class MinerCore;
class QTimer;

struct LiveClientOptions {
  std::string serviceBinary;                    // path of mining-service
  std::chrono::milliseconds closingPause{100};  // the session's closing pause; the real one is 2 s
};

class LiveClient {
 public:
  explicit LiveClient(LiveClientOptions options);
  ~LiveClient();
  LiveClient(const LiveClient&) = delete;
  LiveClient& operator=(const LiveClient&) = delete;

  // Starts the service (the demo machine KST-DEMO-0001 on an ephemeral port).
  bool StartService(std::string& error);
  // Writes config.ini, builds the client and its window and shows it; the session starts
  // while the window is initialised. Waits until the window is exposed. Qt main thread.
  bool ShowWindow(std::string& error);
  // Ends the session as the Cancel command does, then stops the worker and lets go of
  // the window and the client. Qt main thread.
  void Close();

  MinerCore& Core() { return *core_; }
  CQXCLIENTDlg& Window() { return *window_; }
  uint64_t MiningSteps() const { return counter_ ? counter_->MiningSteps() : 0; }
  // The window layer the client writes to, for a load beside the worker's own.
  WindowLayer& Layer() { return *counter_; }
  // From now on until Close(), every 200 ms of the Qt event loop: when the service has
  // switched mining off, clicks Start/Stop as a user would to switch it back on. Qt main
  // thread, after ShowWindow.
  void KeepMining();
  // How many times KeepMining had to.
  int MiningRestarts() const { return restarts_; }

  const std::string& Folder() const { return box_.Path(); }

 private:
  // Whether mining is switched on (onOff 1), read under the client's lock.
  bool Mining();

  LiveClientOptions options_;
  Sandbox box_;
  std::unique_ptr<MiningServiceProcess> service_;
  SystemServices services_;
  ClientEnvironment env_;
  std::unique_ptr<ControlDelivery> delivery_;
  std::unique_ptr<StepCountingLayer> counter_;
  std::unique_ptr<MinerCore> core_;
  std::unique_ptr<CQXCLIENTDlg> window_;
  std::unique_ptr<QTimer> keepMining_;
  int restarts_ = 0;
};

// Figures of this process from /proc: resident memory in KiB, open descriptors, threads.
long ResidentKiB();
int OpenDescriptors();
int ThreadCount();
// The threads of this process by name ("miner-worker" is the client's worker), and the
// CPU seconds one of them has used (-1 once it is gone).
std::vector<int> ThreadsNamed(const std::string& name);
double ThreadCpuSecondsOf(int tid);
