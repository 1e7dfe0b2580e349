#pragma once
// A window that only remembers: each control's text, each button's check state, the
// two panes' content and the operations in the order they arrived. Tests read the
// whole dashboard from it and benchmarks run the client against it. Any thread may
// call it; a ShowDashboard is applied as one group.
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "client/window_layer.h"

class RecordingWindow : public WindowLayer {
 public:
  enum class OpKind { kSetText, kSetCheck, kCheckRadio, kAppend };

  struct Operation {
    OpKind kind;
    int controlId;     // the control; for kCheckRadio the group's first button, for kAppend the pane's
    int value;         // check state, or radio position; 0 otherwise
    std::string text;  // set or appended text; empty otherwise
  };

  struct Counters {
    std::size_t texts = 0;
    std::size_t checks = 0;
    std::size_t radios = 0;
    std::size_t appends = 0;
    std::size_t dashboards = 0;
  };

  void SetControlText(int controlId, const char* text) override;
  void SetCheck(int controlId, int state) override;
  void CheckRadio(int firstId, int lastId, int position) override;
  void AppendToPane(LogPane pane, const char* text) override;
  void ShowDashboard(const DashboardView& view) override;

  // Everything shown at one moment, taken under one lock, so that no refresh lands
  // between two of its fields.
  struct Shown {
    std::map<int, std::string> texts;
    std::map<int, int> checks;
    std::string miningPane;
    std::string eventPane;
    std::string Text(int controlId) const;
    int Check(int controlId) const;
  };
  Shown Current() const;

  // Current state; a control never written reads as "" and an unset button as 0.
  std::string Text(int controlId) const;
  bool HasText(int controlId) const;
  int Check(int controlId) const;  // check boxes and radio buttons alike
  // The checked button of the group firstId..lastId, or -1 when none is checked.
  int CheckedRadio(int firstId = kIdTargetKest, int lastId = kIdTargetAll) const;
  std::string Pane(LogPane pane) const;
  // Replaces a pane's content, as if the user had typed into it; not an operation.
  void SetPaneText(LogPane pane, std::string text);

  std::vector<Operation> Operations() const;
  void ClearOperations();
  // Long runs (benchmarks) keep the state and counters but not the list.
  void SetRecordOperations(bool record);
  Counters Count() const;

 private:
  void Record(OpKind kind, int controlId, int value, const char* text);

  // Recursive so that a ShowDashboard holds it across the operations it is made of.
  mutable std::recursive_mutex mutex_;
  std::map<int, std::string> texts_;
  std::map<int, int> checks_;
  std::string panes_[2];
  std::vector<Operation> operations_;
  bool recordOperations_ = true;
  Counters counters_;
};
