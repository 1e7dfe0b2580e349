#pragma once
// Carries out what the worker published at a reading pace (ui/common/reading_pace.h), and only
// while the window can be seen: while it is minimised or hidden the timer is off and
// nothing is applied, so no control is rewritten or painted; the delivery keeps just the
// newest state meanwhile (the newest view, the panes' tails under the pane rule). When
// the window is restored or shown, everything pending is applied at once, before the
// window paints again.
#include <windows.h>

class ControlDelivery;

class PaintPacer {
 public:
  explicit PaintPacer(ControlDelivery& delivery) : delivery_(delivery) {}
  PaintPacer(const PaintPacer&) = delete;
  PaintPacer& operator=(const PaintPacer&) = delete;

  // Pacing begins for `window` (its timer runs while the window is in view) or ends.
  void Start(HWND window);
  void Stop();
  // Sees each of the window's messages first; true when it was the pacer's own timer,
  // which needs nothing more.
  bool OnMessage(UINT message, WPARAM wParam);

 private:
  void Follow(bool inView);

  ControlDelivery& delivery_;
  HWND window_ = nullptr;
  bool started_ = false;
  bool timing_ = false;
};
