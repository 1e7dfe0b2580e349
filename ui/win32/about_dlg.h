#pragma once
// The About box: template 100, opened from the main window's system menu.
#include <windows.h>

class CAboutDlg final {
 public:
  explicit CAboutDlg(HINSTANCE instance) : instance_(instance) {}
  // Runs the box modally over `owner`; its OK button, Enter or Escape ends it.
  INT_PTR DoModal(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HINSTANCE instance_;
};
