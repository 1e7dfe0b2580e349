#pragma once
// A small client for the window tests: it runs the session the way the real client
// does (the same texts, the same rendering, a worker thread that publishes through the
// window layer) but mines only when a test asks, so every refresh is under the test's
// control. It counts the hooks the window calls.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "client/session_hooks.h"
#include "client/window_layer.h"
#include "core/machine_state.h"

class FakeSession final : public SessionHooks {
 public:
  FakeSession(WindowLayer& window, const MachineState& record);
  ~FakeSession() override;

  void StartSession() override;
  void ToggleMining() override;
  void EndSession() override;
  void StopWorker() override;

  // The worker runs `count` more mining steps (each only while mining is on).
  void RequestSteps(int count);
  // The worker steps every millisecond while mining is on, like the real one.
  void RunFreely();
  int StepsPublished() const { return stepsPublished_.load(); }
  bool WorkerRunning() const { return workerRunning_.load(); }
  int OnOff();

  std::atomic<int> startCalls{0};
  std::atomic<int> toggleCalls{0};
  std::atomic<int> endCalls{0};
  std::atomic<int> stopCalls{0};
  // Run inside StartSession and EndSession, on the window's thread.
  std::function<void()> onStart;
  std::function<void()> onEnd;

  // A typical machine record: mining on, a Korean name, target coin ETH.
  static MachineState SampleRecord();

 private:
  void WorkerLoop();

  WindowLayer& window_;
  std::mutex mutex_;  // guards state_, pendingSteps_, freeRunning_, stopping_
  std::condition_variable wake_;
  MachineState state_;
  int pendingSteps_ = 0;
  bool freeRunning_ = false;
  bool stopping_ = false;
  int tick_ = 0;
  std::thread worker_;
  std::atomic<bool> workerRunning_{false};
  std::atomic<int> stepsPublished_{0};
};
