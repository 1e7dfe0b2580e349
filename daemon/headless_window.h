#pragma once
// The window of a program without a screen: it remembers every control and both panes
// exactly as the window would show them (the recording window, under the same pane
// rule), keeps no list of operations (a long run would fill memory with them), and
// writes each event-log entry to the log as a line.
#include <string>

#include "client/recording_window.h"
#include "daemon/log_lines.h"

class HeadlessWindow : public RecordingWindow {
 public:
  explicit HeadlessWindow(LineAssembler::Sink eventLine = WriteLogLine);

  void AppendToPane(LogPane pane, const char* text) override;

 private:
  LineAssembler eventLines_;
};
