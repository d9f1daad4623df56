// The DPI a window is shown at, and keeping the dialog manager from rescaling a dialog that lays
// itself out. Windows 10's DPI functions are looked up at run time: importing them would stop the
// program from starting on Windows 7 and 8.1.
#pragma once

#include "framework/Win32.h"

// The DPI of the monitor the window is on; the system's DPI where Windows cannot tell.
int WindowDpi(HWND wnd);
// Windows 10 (1703 on) moves and resizes a per-monitor-aware dialog's controls and fonts itself
// when its DPI changes; the dialog and each of its children given here do that themselves.
void KeepDialogLayoutOnDpiChange(HWND dialog);
// A system metric (a scroll bar's width) at the DPI, scaled from the system's DPI before Windows 10.
int SystemMetricForDpi(int index, int dpi);
void KeepControlLayoutOnDpiChange(HWND control);
