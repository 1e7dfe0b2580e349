#include "ui/common/control_delivery.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/log_pane_rule.h"

namespace {

// Writes a dashboard view straight to the window, in the view's own field order.
class SinkWriter final : public WindowLayer {
 public:
  explicit SinkWriter(ControlSink& sink) : sink_(sink) {}
  void SetControlText(int controlId, const char* text) override { sink_.ApplyText(controlId, text); }
  void SetCheck(int controlId, int state) override { sink_.ApplyCheck(controlId, state); }
  void CheckRadio(int firstId, int lastId, int position) override {
    sink_.ApplyRadio(firstId, lastId, position);
  }
  void AppendToPane(LogPane pane, const char* text) override { sink_.ApplyPaneText(pane, false, text); }

 private:
  ControlSink& sink_;
};

}  // namespace

void ControlDelivery::Attach(ControlSink* sink, std::size_t miningPaneLength, std::size_t eventPaneLength) {
  std::lock_guard<std::mutex> lock(mutex_);
  sink_ = sink;
  windowThread_ = std::this_thread::get_id();
  ops_.clear();
  hasView_ = false;
  panes_[0] = PaneQueue{false, {}, miningPaneLength};
  panes_[1] = PaneQueue{false, {}, eventPaneLength};
  // A pending tail never holds more than the pane limit and the append that passed it,
  // and the store and the window's side take turns with their buffers; sized once here,
  // a mining step's refresh and log block never allocate, not even in the first frames.
  for (int i = 0; i < 2; ++i) {
    panes_[i].tail.reserve(2 * kPaneLimit);
    takenTail_[i].reserve(2 * kPaneLimit);
  }
  ops_.reserve(8);
  takenOps_.reserve(8);
}

void ControlDelivery::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  sink_ = nullptr;
  ops_.clear();
  ops_.shrink_to_fit();
  hasView_ = false;
  for (PaneQueue& q : panes_) q = PaneQueue{};
}

bool ControlDelivery::Attached() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sink_ != nullptr;
}

ControlDelivery::Queued ControlDelivery::Enqueue(Op op, const DashboardView* view) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (sink_ == nullptr) return Queued::kDropped;
  // A later operation on the same target makes an earlier one pointless; operations on
  // different targets do not affect each other, so dropping it keeps the outcome.
  const auto sameTarget = [&op](const Op& old) {
    return old.kind == op.kind && (op.kind == OpKind::kView || old.id == op.id);
  };
  ops_.erase(std::remove_if(ops_.begin(), ops_.end(), sameTarget), ops_.end());
  if (view != nullptr) {
    view_ = *view;
    hasView_ = true;
  }
  ops_.push_back(std::move(op));
  return std::this_thread::get_id() == windowThread_ ? Queued::kFromWindowThread : Queued::kFromWorker;
}

ControlDelivery::Queued ControlDelivery::EnqueuePaneText(LogPane pane, const char* text, bool replace) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (sink_ == nullptr) return Queued::kDropped;
  PaneQueue& q = Pane(panes_, pane);
  const std::size_t n = std::strlen(text);
  // The pane rule, run on what the pane will hold once everything before is shown.
  if (replace || PaneResetsBeforeAppend(q.length)) {
    q.clearFirst = true;
    q.tail.clear();
    q.length = 0;
  }
  q.tail.append(text, n);
  q.length += n;
  return std::this_thread::get_id() == windowThread_ ? Queued::kFromWindowThread : Queued::kFromWorker;
}

void ControlDelivery::Finish(Queued queued) {
  if (queued == Queued::kFromWindowThread) ApplyPending();
}

void ControlDelivery::ApplyPending() {
  ControlSink* sink = nullptr;
  bool hasView = false;
  bool clearFirst[2] = {false, false};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sink_ == nullptr || applying_ || std::this_thread::get_id() != windowThread_) return;
    sink = sink_;
    applying_ = true;
    takenOps_.clear();
    std::swap(takenOps_, ops_);
    hasView = hasView_;
    if (hasView_) takenView_ = view_;
    hasView_ = false;
    for (int i = 0; i < 2; ++i) {
      takenTail_[i].clear();
      std::swap(takenTail_[i], panes_[i].tail);
      clearFirst[i] = panes_[i].clearFirst;
      panes_[i].clearFirst = false;
    }
  }
  // Carried out without the lock, so the worker can publish meanwhile.
  SinkWriter writer(*sink);
  for (const Op& op : takenOps_) {
    switch (op.kind) {
      case OpKind::kText: sink->ApplyText(op.id, op.text); break;
      case OpKind::kCheck: sink->ApplyCheck(op.id, op.value); break;
      case OpKind::kRadio: sink->ApplyRadio(op.id, op.value2, op.value); break;
      case OpKind::kView:
        if (hasView) writer.WindowLayer::ShowDashboard(takenView_);
        break;
    }
  }
  const LogPane paneOf[2] = {LogPane::kMining, LogPane::kEvent};
  for (int i = 0; i < 2; ++i) {
    if (clearFirst[i] || !takenTail_[i].empty()) {
      sink->ApplyPaneText(paneOf[i], clearFirst[i], takenTail_[i]);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  applying_ = false;
}

void ControlDelivery::NotePaneEdited(LogPane pane, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  PaneQueue& q = Pane(panes_, pane);
  // A pending reset empties the pane anyway; otherwise the pending tail lands after
  // whatever the user left there.
  if (!q.clearFirst) q.length = length + q.tail.size();
}

void ControlDelivery::SetControlText(int controlId, const char* text) {
  if (IsPaneControl(controlId)) {
    const LogPane pane = controlId == kIdMiningLog ? LogPane::kMining : LogPane::kEvent;
    Finish(EnqueuePaneText(pane, text, true));
    return;
  }
  Op op{OpKind::kText, controlId, 0, 0, text};
  Finish(Enqueue(std::move(op)));
}

void ControlDelivery::SetCheck(int controlId, int state) {
  Finish(Enqueue(Op{OpKind::kCheck, controlId, state, 0, {}}));
}

void ControlDelivery::CheckRadio(int firstId, int lastId, int position) {
  Finish(Enqueue(Op{OpKind::kRadio, firstId, position, lastId, {}}));
}

void ControlDelivery::AppendToPane(LogPane pane, const char* text) {
  Finish(EnqueuePaneText(pane, text, false));
}

void ControlDelivery::ShowDashboard(const DashboardView& view) {
  Finish(Enqueue(Op{OpKind::kView, 0, 0, 0, {}}, &view));
}

std::size_t ControlDelivery::PendingOperationCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ops_.size();
}

std::size_t ControlDelivery::PendingPaneBytes(LogPane pane) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return panes_[pane == LogPane::kMining ? 0 : 1].tail.size();
}
