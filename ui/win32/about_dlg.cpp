#include "ui/win32/about_dlg.h"

#include "ui/win32/resource.h"

INT_PTR CAboutDlg::DoModal(HWND owner) {
  return DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, DialogProc, 0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return TRUE;  // the focus goes to the OK button
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      break;
    default: break;
  }
  return FALSE;
}
