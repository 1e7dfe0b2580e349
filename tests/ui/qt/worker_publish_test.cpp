// The worker's side of the delivery: a mining step publishes its refresh and its log
// block to the window's thread without a single heap allocation, from the first steps on,
// while the window's thread takes and applies what was published.
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "client/miner_core.h"
#include "client/recording_window.h"
#include "core/fixed_text.h"
#include "support/allocation_counter.h"
#include "support/fixed_clock.h"
#include "ui/common/control_delivery.h"
#include "ui/common/control_sink.h"

namespace {

class NullSink final : public ControlSink {
 public:
  void ApplyText(int, std::string_view) override {}
  void ApplyCheck(int, int) override {}
  void ApplyRadio(int, int, int) override {}
  void ApplyPaneText(LogPane, bool, std::string_view) override { ++paneApplications; }
  std::atomic<int> paneApplications{0};
};

// A window's thread of its own that carries out whatever is published, every millisecond.
class WindowThread {
 public:
  explicit WindowThread(ControlDelivery& delivery) : delivery_(delivery) {
    thread_ = std::thread([this] {
      delivery_.Attach(&sink, 0, 0);
      attached_ = true;
      while (!stop_) {
        delivery_.ApplyPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      delivery_.Detach();
    });
    while (!attached_) std::this_thread::yield();
  }
  ~WindowThread() {
    stop_ = true;
    thread_.join();
  }
  NullSink sink;

 private:
  ControlDelivery& delivery_;
  std::atomic<bool> attached_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Miner {
  explicit Miner(WindowLayer& window) {
    env.clock = &clock;
    env.random = &random;
    core = std::make_unique<MinerCore>(env, window);
    core->WithState([](MachineState& s) {
      CopyText(s.serialNo, "KST-DEMO-0001");
      CopyText(s.machineName, "Kestravon miner no. 1");
      s.level = 5;
      s.activeMachines = 342;
      s.machineKest = 25;
      s.onOff = 1;
    });
  }
  // Steps through the seconds as the worker would, 900 steps to a second.
  void Steps(int count) {
    for (int i = 0; i < count; ++i, ++n) {
      clock.SetLocalTime(12, 4, (n / 900) % 60, n % 900);
      clock.SetTickCount(static_cast<uint32_t>(n));
      core->MiningStep();
    }
  }
  FixedClock clock;
  CrtRandom random;
  ClientEnvironment env;
  std::unique_ptr<MinerCore> core;
  int n = 0;
};

}  // namespace

class WorkerPublishTest : public QObject {
  Q_OBJECT

 private slots:
  void miningStepsPublishWithoutAllocating();
  void theCounterSeesAWindowThatAllocates();
};

void WorkerPublishTest::miningStepsPublishWithoutAllocating() {
  ControlDelivery delivery;
  WindowThread window(delivery);
  Miner miner(delivery);
  miner.Steps(2);  // the clock's and the formatter's one-time set-up is not the step's
  std::size_t allocations = 0;
  {
    AllocationScope scope;
    miner.Steps(3000);  // some 65 times past the mining log's limit, across many frames
    allocations = scope.Allocations();
  }
  QCOMPARE(allocations, std::size_t{0});
  QTRY_VERIFY(window.sink.paneApplications.load() > 0);
}

void WorkerPublishTest::theCounterSeesAWindowThatAllocates() {
  // Guards the check above: in this binary the counter notices a step that allocates.
  RecordingWindow window;
  Miner miner(window);
  miner.Steps(2);
  std::size_t allocations = 0;
  {
    AllocationScope scope;
    miner.Steps(10);
    allocations = scope.Allocations();
  }
  QVERIFY(allocations > 0);
}

QTEST_GUILESS_MAIN(WorkerPublishTest)
#include "worker_publish_test.moc"
