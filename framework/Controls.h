// Bases for the skinned controls: a push button and a scroll bar of the system classes.
#pragma once

#include "framework/Wnd.h"

class CButton : public CWnd {
public:
    BOOL Create(const wchar_t* caption, DWORD style, const RECT& rc, CWnd* parent, UINT id) {
        return CreateEx(0, L"BUTTON", caption, style, rc, parent, id);
    }
};

class CScrollBar : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rc, CWnd* parent, UINT id) {
        return CreateEx(0, L"SCROLLBAR", L"", style, rc, parent, id);
    }
};
