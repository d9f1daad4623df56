// Notifications the multi-line list posts to its parent: wParam is the list object's address,
// lParam the row.
#pragma once

#include "framework/Win32.h"

// A tap in the check zone toggled a row's check box, or a row was double-clicked.
constexpr UINT UM_CHECK_CHANGED = WM_USER + 9100;
// The left button went down on a row.
constexpr UINT UM_ROW_PRESSED = WM_USER + 9101;
// The left button was released inside the unit column's zone.
constexpr UINT UM_UNIT_TAPPED = WM_USER + 9102;
