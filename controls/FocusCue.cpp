// The keyboard focus cue shared by the skinned buttons and the item list.
#include "controls/FocusCue.h"

#include "framework/GdiObjects.h"

bool FocusCuesShown(HWND wnd) {
    return wnd && (::SendMessageW(wnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0;
}

void DrawFocusCue(HDC dc, const RECT& rc, COLORREF colour) {
    if (rc.right - rc.left < 2 || rc.bottom - rc.top < 2) return;
    CPen pen(PS_DOT, 1, colour);
    CSelectObject selectPen(dc, pen);
    CSelectObject selectBrush(dc, ::GetStockObject(NULL_BRUSH));
    CTextMode mode(dc, TRANSPARENT);  // the gaps between the dots keep the skin
    ::Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
}
