#pragma once
// Counts the calls this program makes into USER and GDI (user32.dll, gdi32.dll), the
// window's cost that does not depend on how the system carries them out. Every import of
// those two libraries in the program's own import table is pointed at a small thunk that
// adds one to the function's counter and jumps on to the function, arguments and
// registers untouched. Calls the libraries make among themselves (a control painting
// itself) are not counted; the WM_PAINT and WM_TIMER messages a window and its controls
// handle are, apart. Those are counted by subclassing the windows, not by a message hook:
// under Wine every message taken past a hook costs the window's thread three more round
// trips to the server, a cost the window itself does not have.
//
// x86-64 only. Install() answers false when the table cannot be patched.
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class UserCallCounter {
 public:
  UserCallCounter() = default;
  UserCallCounter(const UserCallCounter&) = delete;
  UserCallCounter& operator=(const UserCallCounter&) = delete;
  ~UserCallCounter();

  // Patches the program's import table; once per process.
  bool Install();
  // Counts the WM_PAINT and WM_TIMER messages `window` and its controls handle from now
  // on. Called once, from any thread of this process, once the controls exist.
  bool WatchMessages(HWND window);

  uint64_t Calls() const;
  uint64_t Paints() const;
  // WM_TIMER messages the watched windows handle: the window's pictures at its pace.
  uint64_t Timers() const;
  // Calls per function since the program began, the most called first.
  std::vector<std::pair<std::string, uint64_t>> ByFunction() const;

 private:
  struct Thunk;
  Thunk* thunks_ = nullptr;
  std::vector<std::string> names_;
};
