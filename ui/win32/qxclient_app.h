#pragma once
// The application object on Windows: prepares the window system, builds the client and
// its main window, runs the window until it is closed, then lets the program end.
#include <windows.h>

class CQXCLIENTApp final {
 public:
  CQXCLIENTApp() = default;

  // The whole run: the session starts while the window is initialised and ends while it
  // is destroyed; the worker is stopped before this returns. Always FALSE: no message
  // loop follows the window's own.
  BOOL InitInstance(HINSTANCE instance);
};
