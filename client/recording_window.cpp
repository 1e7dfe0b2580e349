#include "client/recording_window.h"

#include <utility>

#include "core/log_pane_rule.h"

namespace {
std::size_t PaneIndex(LogPane pane) { return pane == LogPane::kMining ? 0 : 1; }
const char* OrEmpty(const char* text) { return text ? text : ""; }
}  // namespace

void RecordingWindow::Record(OpKind kind, int controlId, int value, const char* text) {
  if (recordOperations_) operations_.push_back(Operation{kind, controlId, value, OrEmpty(text)});
}

void RecordingWindow::SetControlText(int controlId, const char* text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  texts_[controlId] = OrEmpty(text);
  ++counters_.texts;
  Record(OpKind::kSetText, controlId, 0, text);
}

void RecordingWindow::SetCheck(int controlId, int state) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  checks_[controlId] = state;
  ++counters_.checks;
  Record(OpKind::kSetCheck, controlId, state, nullptr);
}

void RecordingWindow::CheckRadio(int firstId, int lastId, int position) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // Counted wide so that no id or position, however far out, overflows.
  for (long long id = firstId; id <= lastId; ++id) checks_[static_cast<int>(id)] = 0;
  const long long target = static_cast<long long>(firstId) + position;
  if (position >= 0 && target <= lastId) checks_[static_cast<int>(target)] = 1;
  ++counters_.radios;
  Record(OpKind::kCheckRadio, firstId, position, nullptr);
}

void RecordingWindow::AppendToPane(LogPane pane, const char* text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  AppendUnderPaneRule(panes_[PaneIndex(pane)], OrEmpty(text));
  ++counters_.appends;
  Record(OpKind::kAppend, PaneControlId(pane), 0, text);
}

void RecordingWindow::ShowDashboard(const DashboardView& view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ++counters_.dashboards;
  WindowLayer::ShowDashboard(view);
}

std::string RecordingWindow::Text(int controlId) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = texts_.find(controlId);
  return it == texts_.end() ? std::string() : it->second;
}

bool RecordingWindow::HasText(int controlId) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return texts_.count(controlId) != 0;
}

int RecordingWindow::Check(int controlId) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = checks_.find(controlId);
  return it == checks_.end() ? 0 : it->second;
}

int RecordingWindow::CheckedRadio(int firstId, int lastId) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (long long id = firstId; id <= lastId; ++id) {
    auto it = checks_.find(static_cast<int>(id));
    if (it != checks_.end() && it->second != 0) return static_cast<int>(id);
  }
  return -1;
}

RecordingWindow::Shown RecordingWindow::Current() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return Shown{texts_, checks_, panes_[0], panes_[1]};
}

std::string RecordingWindow::Shown::Text(int controlId) const {
  auto it = texts.find(controlId);
  return it == texts.end() ? std::string() : it->second;
}

int RecordingWindow::Shown::Check(int controlId) const {
  auto it = checks.find(controlId);
  return it == checks.end() ? 0 : it->second;
}

std::string RecordingWindow::Pane(LogPane pane) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return panes_[PaneIndex(pane)];
}

void RecordingWindow::SetPaneText(LogPane pane, std::string text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  panes_[PaneIndex(pane)] = std::move(text);
}

std::vector<RecordingWindow::Operation> RecordingWindow::Operations() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return operations_;
}

void RecordingWindow::ClearOperations() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  operations_.clear();
}

void RecordingWindow::SetRecordOperations(bool record) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  recordOperations_ = record;
}

RecordingWindow::Counters RecordingWindow::Count() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return counters_;
}
