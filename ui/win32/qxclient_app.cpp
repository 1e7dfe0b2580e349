#include "ui/win32/qxclient_app.h"

#include <commctrl.h>

#include "client/client_environment.h"
#include "client/miner_core.h"
#include "ui/common/control_delivery.h"
#include "ui/win32/qxclient_dlg.h"

BOOL CQXCLIENTApp::InitInstance(HINSTANCE instance) {
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
  // Windows may restart the client after an update or a crash; no recovery, no files.
  RegisterApplicationRestart(nullptr, 0);

  SystemServices services;
  const ClientEnvironment env = services.Environment();
  // The window layer outlives the client's worker; the window attaches to it while it
  // exists. Destroyed in reverse: the window (which stops the worker), the client, the layer.
  ControlDelivery delivery;
  MinerCore client(env, delivery);
  CQXCLIENTDlg window(client, delivery, instance);
  window.DoModal();  // the session runs inside; its result is not looked at
  return FALSE;
}
