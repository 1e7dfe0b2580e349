#pragma once
// The one seam between the client and its window. The client never touches a widget:
// it calls these operations, from the window's thread or from the mining worker.
// An implementation decides how an operation reaches the window's thread; it must
// never make the caller wait for that thread.
#include "core/control_ids.h"
#include "core/dashboard_view.h"

class WindowLayer {
 public:
  virtual ~WindowLayer() = default;

  // Control operations. Texts are code page 949 bytes, NUL-terminated.
  virtual void SetControlText(int controlId, const char* text) = 0;
  virtual void SetCheck(int controlId, int state) = 0;
  // Checks the button at `position` of the group firstId..lastId and clears the others;
  // a position outside the group clears all of them.
  virtual void CheckRadio(int firstId, int lastId, int position) = 0;
  // Appends to a log pane under the pane rule (see log_pane_rule.h).
  virtual void AppendToPane(LogPane pane, const char* text) = 0;

  // A whole dashboard at once. The default writes the fields one by one in their
  // order; a window may instead keep only the newest view and show it at its own pace.
  virtual void ShowDashboard(const DashboardView& view);
};
