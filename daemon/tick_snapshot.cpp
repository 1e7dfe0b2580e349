#include "daemon/tick_snapshot.h"

std::shared_ptr<const std::string> TickSnapshot::Get(uint64_t tick) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!current_ || tick > currentTick_) {
    if (current_ == nullptr && tick < currentTick_) tick = currentTick_;
    current_ = std::make_shared<const std::string>(build_(tick));
    currentTick_ = tick;
    ++builds_;
  }
  return current_;
}

void TickSnapshot::Invalidate() {
  std::lock_guard<std::mutex> lock(mutex_);
  current_.reset();
}

uint64_t TickSnapshot::Builds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return builds_;
}

std::string SnapshotJson(uint64_t tick, const SnapshotCounters& counters, const std::string& dashboardJson,
                         const std::string& pointJson) {
  std::string dashboard = dashboardJson;
  while (!dashboard.empty() && (dashboard.back() == '\n' || dashboard.back() == ' ')) dashboard.pop_back();
  return "{\"tick\":" + std::to_string(tick) + R"(,"counters":{"workerPasses":)" +
         std::to_string(counters.workerPasses) + ",\"miningSteps\":" + std::to_string(counters.miningSteps) +
         ",\"reportsSent\":" + std::to_string(counters.reportsSent) + "},\"dashboard\":" + dashboard +
         ",\"point\":" + (pointJson.empty() ? std::string("null") : pointJson) + "}\n";
}
