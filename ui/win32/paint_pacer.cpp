#include "ui/win32/paint_pacer.h"

#include "ui/common/control_delivery.h"
#include "ui/common/reading_pace.h"

namespace {

constexpr UINT_PTR kPaceTimer = 1;

}  // namespace

void PaintPacer::Start(HWND window) {
  window_ = window;
  started_ = true;
  Follow(IsWindowVisible(window_) && !IsIconic(window_));
}

void PaintPacer::Stop() {
  if (timing_) KillTimer(window_, kPaceTimer);
  timing_ = false;
  started_ = false;
}

bool PaintPacer::OnMessage(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam != kPaceTimer) return false;
      delivery_.ApplyPending();
      // The controls just changed are painted now, one after the other, rather than each
      // on a WM_PAINT of its own taken from the queue later.
      RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
      return true;
    case WM_SIZE:
      // Minimised, restored or maximised; a hidden window stays out of view.
      Follow(wParam != SIZE_MINIMIZED && IsWindowVisible(window_));
      return false;
    case WM_SHOWWINDOW:
      // Sent before the window is shown or hidden: applied now, the first picture after
      // showing is already the newest state.
      Follow(wParam != FALSE && !IsIconic(window_));
      return false;
    default: return false;
  }
}

void PaintPacer::Follow(bool inView) {
  if (!started_) return;
  if (!inView) {
    if (timing_) KillTimer(window_, kPaceTimer);
    timing_ = false;
    return;
  }
  if (timing_) return;
  delivery_.ApplyPending();
  timing_ = SetTimer(window_, kPaceTimer, kReadingPaceMs, nullptr) != 0;
}
