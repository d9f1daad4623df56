// The item list for keyboard and screen-reader users: what a key does to the selection and the
// check boxes, and the window text that names the list (its rows with their check state, or the
// column headings of a list that shows only its header band).
#pragma once

#include "controls/logic/ListModel.h"

#include <string>

// Key codes the list answers (the Windows virtual-key values).
enum ListKey : int {
    kListKeySpace = 0x20,
    kListKeyEnd = 0x23,
    kListKeyHome = 0x24,
    kListKeyUp = 0x26,
    kListKeyDown = 0x28,
};

struct ListKeyResult {
    bool handled = false;
    int selection = -1;   // the selected row afterwards
    bool toggle = false;  // the selected row's check box flips
};

// Up and Down move the selection one row, Home and End to the first and last row; Space toggles the
// check box of the selected row (of the first row while none is selected). Nothing without rows.
ListKeyResult ListKeyDown(int key, int selection, int itemCount, bool checkMode);

// The row the keyboard starts from when the list gets the focus.
int ListFocusRow(int selection, int itemCount);

// Words that say a row's check state.
extern const wchar_t kListChecked[];
extern const wchar_t kListNotChecked[];

// The window text: each inserted row's cells separated by tabs, followed in check mode by a tab and
// the row's check state, rows separated by CR LF. A list without rows whose headings are not blank
// answers its headings, separated by tabs.
std::wstring ListWindowText(const ListModel& model);
