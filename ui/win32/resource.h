// Resource identifiers of QX_CLIENT.exe (qx_client.rc). Control ids are those of
// core/control_ids.h; the items without one use IDC_STATIC.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_QX_CLIENT_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BANNER 130
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
