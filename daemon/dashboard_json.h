#pragma once
// The dashboard as JSON: every field by control id and name, the button's caption, the
// check box, the five radio buttons and both panes, texts converted to UTF-8.
#include <string>

#include "client/recording_window.h"

std::string DashboardJson(const RecordingWindow::Shown& window);

// The names the view gives the dashboard's text fields, in the window's order.
struct DashboardFieldName {
  int controlId;
  const char* name;
};
extern const DashboardFieldName kDashboardFieldNames[45];
