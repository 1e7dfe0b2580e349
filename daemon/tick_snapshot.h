#pragma once
// What every open page reads each second: the dashboard and the newest history point as
// one JSON text, built at most once per tick of the history, whatever the number of pages
// asking. The first request of a tick builds it; later ones of the same tick share it.
// Nothing is built while no page asks.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class TickSnapshot {
 public:
  using Builder = std::function<std::string(uint64_t tick)>;
  explicit TickSnapshot(Builder build) : build_(std::move(build)) {}

  // The snapshot of `tick`. A caller with an older tick than the one built last gets the
  // newer one: a snapshot never goes back in time.
  std::shared_ptr<const std::string> Get(uint64_t tick);

  // The next Get builds anew even within the same tick: after a Start/Stop, no page may
  // be shown the caption from before it.
  void Invalidate();

  // Snapshots built so far.
  uint64_t Builds() const;

 private:
  Builder build_;
  mutable std::mutex mutex_;  // held while building, so a tick's other callers wait for it
  std::shared_ptr<const std::string> current_;
  uint64_t currentTick_ = 0;
  uint64_t builds_ = 0;
};

// The session's running totals the page shows beside the charts.
struct SnapshotCounters {
  uint64_t workerPasses = 0;
  uint64_t miningSteps = 0;
  uint64_t reportsSent = 0;
};

// The snapshot's JSON: {"tick":N,"counters":{...},"dashboard":{...},"point":{...} or null}.
std::string SnapshotJson(uint64_t tick, const SnapshotCounters& counters, const std::string& dashboardJson,
                         const std::string& pointJson);
