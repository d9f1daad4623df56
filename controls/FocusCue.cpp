// The keyboard focus cue shared by the skinned buttons, the message box and the item list.
#include "controls/FocusCue.h"

#include "framework/GdiObjects.h"

namespace {

// Kept on the top-level window. Wine keeps no keyboard-cue state (WM_QUERYUISTATE always answers 0),
// so the program records the first key press itself; on Windows both agree.
const wchar_t kKeyboardUsed[] = L"QvKeyboardUsed";

HWND TopLevel(HWND wnd) { return wnd ? ::GetAncestor(wnd, GA_ROOT) : nullptr; }

}  // namespace

void NoteKeyboardUse(HWND wnd) {
    const HWND top = TopLevel(wnd);
    if (!top || ::GetPropW(top, kKeyboardUsed)) return;
    ::SetPropW(top, kKeyboardUsed, reinterpret_cast<HANDLE>(1));
    ::SendMessageW(top, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    ::RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void ForgetKeyboardUse(HWND wnd) {
    const HWND top = TopLevel(wnd);
    if (!top) return;
    const bool shown = ::RemovePropW(top, kKeyboardUsed) != nullptr;
    ::SendMessageW(top, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    if (shown) ::RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

bool KeyboardUsed(HWND wnd) {
    const HWND top = TopLevel(wnd);
    return top && ::GetPropW(top, kKeyboardUsed) != nullptr;
}

bool FocusCuesShown(HWND wnd) {
    return KeyboardUsed(wnd) && (::SendMessageW(wnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0;
}

bool IsKeyPress(LPARAM dlgCodeMessage) {
    const MSG* msg = reinterpret_cast<const MSG*>(dlgCodeMessage);
    return msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN);
}

void DrawFocusCue(HDC dc, const RECT& rc, COLORREF colour) {
    if (rc.right - rc.left < 2 || rc.bottom - rc.top < 2) return;
    CPen pen(PS_DOT, 1, colour);
    CSelectObject selectPen(dc, pen);
    CSelectObject selectBrush(dc, ::GetStockObject(NULL_BRUSH));
    CTextMode mode(dc, TRANSPARENT);  // the gaps between the dots keep the skin
    ::Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
}
