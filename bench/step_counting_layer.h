#pragma once
// Passes every operation on to the window layer and counts the mining-log appends, one
// per mining step. Costs the worker one virtual call and one relaxed increment.
#include <atomic>
#include <cstdint>

#include "client/window_layer.h"

class StepCountingLayer final : public WindowLayer {
 public:
  explicit StepCountingLayer(WindowLayer& next) : next_(next) {}
  void SetControlText(int controlId, const char* text) override { next_.SetControlText(controlId, text); }
  void SetCheck(int controlId, int state) override { next_.SetCheck(controlId, state); }
  void CheckRadio(int firstId, int lastId, int position) override {
    next_.CheckRadio(firstId, lastId, position);
  }
  void AppendToPane(LogPane pane, const char* text) override {
    if (pane == LogPane::kMining) steps_.fetch_add(1, std::memory_order_relaxed);
    next_.AppendToPane(pane, text);
  }
  void ShowDashboard(const DashboardView& view) override { next_.ShowDashboard(view); }

  uint64_t MiningSteps() const { return steps_.load(std::memory_order_relaxed); }

 private:
  WindowLayer& next_;
  std::atomic<uint64_t> steps_{0};
};
