#pragma once
// What the window offers the delivery: each control operation carried out on the
// window's own thread. Texts are code page 949 bytes, converted by the window.
#include <cstddef>
#include <string_view>

#include "core/control_ids.h"

class ControlSink {
 public:
  virtual void ApplyText(int controlId, std::string_view text) = 0;
  virtual void ApplyCheck(int controlId, int state) = 0;
  virtual void ApplyRadio(int firstId, int lastId, int position) = 0;
  // Empties the pane first when `clearFirst`, then puts the caret at the end, scrolls
  // it into view and inserts `text` there, not undoable.
  virtual void ApplyPaneText(LogPane pane, bool clearFirst, std::string_view text) = 0;

 protected:
  ~ControlSink() = default;
};
