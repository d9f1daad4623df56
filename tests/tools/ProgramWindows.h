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
    if (wnd != s->owner && std::wcscmp(cls, L"#32770") == 0 && ::GetWindow(wnd, GW_OWNER) == s->owner) {
        s->found = wnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace program_windows

// The program's message box (a dialog the main window owns), shown or not.
inline HWND FindBox() {
    HWND main = FindMain();
    if (!main) return nullptr;
    program_windows::BoxSearch s{main, nullptr};
    ::EnumWindows(program_windows::FindBoxProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}
