#pragma once
// The window layer the client writes to. It never makes a caller wait for the window:
// calls are kept in a small pending store and carried out by the window's thread, at
// once when that thread is the caller, otherwise at the window's next picture (ApplyPending).
//
// The store keeps only what still matters: the newest dashboard view (a newer one
// replaces one not yet shown), the other control operations in order with a later
// one for the same control replacing an earlier one, and per log pane the net effect
// of its appends under the pane rule. Once the window has detached, every call is
// dropped, so the client may outlive the window and call on safely.
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/window_layer.h"
#include "ui/common/control_sink.h"

class ControlDelivery final : public WindowLayer {
 public:
  ControlDelivery() = default;
  ControlDelivery(const ControlDelivery&) = delete;
  ControlDelivery& operator=(const ControlDelivery&) = delete;

  // Called on the window's thread. Attach makes that thread the window's thread;
  // `paneLengths` are the panes' current lengths as the pane rule counts them.
  void Attach(ControlSink* sink, std::size_t miningPaneLength, std::size_t eventPaneLength);
  void Detach();
  bool Attached() const;

  // The window's thread carries out everything pending.
  void ApplyPending();
  // The user edited a pane: its length as the pane rule counts it is now `length`.
  void NotePaneEdited(LogPane pane, std::size_t length);

  // WindowLayer
  void SetControlText(int controlId, const char* text) override;
  void SetCheck(int controlId, int state) override;
  void CheckRadio(int firstId, int lastId, int position) override;
  void AppendToPane(LogPane pane, const char* text) override;
  void ShowDashboard(const DashboardView& view) override;

  // For tests: how much is waiting.
  std::size_t PendingOperationCount() const;
  std::size_t PendingPaneBytes(LogPane pane) const;

 private:
  enum class OpKind { kText, kCheck, kRadio, kView };
  struct Op {
    OpKind kind;
    int id = 0;     // control id; first id for a radio group
    int value = 0;  // check state, radio position; last id of a radio group in `value2`
    int value2 = 0;
    std::string text;
  };
  // The net effect of a pane's appends not yet shown: empty the pane first or not, then
  // append `tail`. `length` is what the pane will hold once it is shown.
  struct PaneQueue {
    bool clearFirst = false;
    std::string tail;
    std::size_t length = 0;
  };

  static PaneQueue& Pane(PaneQueue (&panes)[2], LogPane pane) {
    return panes[pane == LogPane::kMining ? 0 : 1];
  }
  static bool IsPaneControl(int controlId) { return controlId == kIdMiningLog || controlId == kIdEventLog; }

  enum class Queued { kDropped, kFromWorker, kFromWindowThread };
  Queued Enqueue(Op op, const DashboardView* view = nullptr);
  Queued EnqueuePaneText(LogPane pane, const char* text, bool replace);
  // A call of the window's own thread is carried out before it returns.
  void Finish(Queued queued);

  mutable std::mutex mutex_;
  ControlSink* sink_ = nullptr;  // guarded; used only on the window's thread
  std::thread::id windowThread_;
  std::vector<Op> ops_;
  bool hasView_ = false;
  DashboardView view_;
  PaneQueue panes_[2];

  // The window thread's side of a frame; kept between frames so that taking the pending
  // store costs the worker no allocation.
  bool applying_ = false;
  std::vector<Op> takenOps_;
  DashboardView takenView_;
  std::string takenTail_[2];
};
