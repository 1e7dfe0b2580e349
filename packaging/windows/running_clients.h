#pragma once
// The clients running from one install folder, found by their main window, and how the
// installer asks them to close: the way a user closes the window.
#include <windows.h>

#include <string>
#include <vector>

struct RunningClient {
  HWND window = nullptr;  // the main dialog
  DWORD processId = 0;
};

// Top-level dialogs ("#32770") whose caption begins with the product name and whose
// process's program lies directly in `folder` (compared without regard to case). A
// client run from anywhere else, an About box or another program's dialog is not one.
std::vector<RunningClient> FindRunningClients(const std::wstring& folder);

// Whether process `processId` shows a client main window.
bool HasClientWindow(DWORD processId);

// Sends each client's dialog WM_CLOSE (the client then sends its power-off notice and
// pauses, as when the user closes it) and waits up to `waitMs` for all of them to end.
// One still there after that is hung and is ended by force. True when all ended by
// themselves.
bool CloseClients(const std::vector<RunningClient>& clients, DWORD waitMs);
