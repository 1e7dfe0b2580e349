#include "daemon/headless_window.h"

#include <utility>

HeadlessWindow::HeadlessWindow(LineAssembler::Sink eventLine) : eventLines_(std::move(eventLine)) {
  SetRecordOperations(false);
  // The caption the window starts with, before anything has written it.
  SetControlText(kIdStartStop, "Start");
}

void HeadlessWindow::AppendToPane(LogPane pane, const char* text) {
  RecordingWindow::AppendToPane(pane, text);
  // The mining log gets a block every step: that is no news for the journal.
  if (pane == LogPane::kEvent) eventLines_.Feed(text ? text : "");
}
