// QX_CLIENT.exe: one Mars mining machine in a window.
#include <windows.h>

#include "ui/win32/qxclient_app.h"

namespace {
CQXCLIENTApp theApp;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The command line is not read.
  theApp.InitInstance(instance);
  return 0;
}
