// Finding QuorvelDownloader's windows from another process, for the test tools.
#pragma once

#include <windows.h>

#include <cwchar>

inline const wchar_t kMainTitle[] = L"탈빅스 다운로더";

// The main window, shown or not.
inline HWND FindMain() { return ::FindWindowW(L"#32770", kMainTitle); }

namespace program_windows {
struct BoxSearch {
    HWND owner;
    HWND found;
};

inline BOOL CALLBACK FindBoxProc(HWND wnd, LPARAM lp) {
    auto* s = reinterpret_cast<BoxSearch*>(lp);
    wchar_t cls[64] = {};
    ::GetClassNameW(wnd, cls, 64);
    // Without an owner, only a dialog with the box's first button (id 10) is the box.
    if (wnd != s->owner && std::wcscmp(cls, L"#32770") == 0 && ::GetWindow(wnd, GW_OWNER) == s->owner &&
        (s->owner || ::GetDlgItem(wnd, 10))) {
        s->found = wnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace program_windows

// The program's message box (a dialog the main window owns, or one without an owner when there is
// no main window), shown or not.
inline HWND FindBox() {
    program_windows::BoxSearch s{FindMain(), nullptr};
    ::EnumWindows(program_windows::FindBoxProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}
