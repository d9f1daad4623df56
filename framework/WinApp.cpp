// The application object, the process entry (wWinMain) and the DLL search order set before
// anything else runs.
#include "framework/WinApp.h"

#include <algorithm>
#include <string>

#ifndef QV_DELAY_LOADED_DLLS
#define QV_DELAY_LOADED_DLLS L""
#endif

namespace {
// Users start the program from their Downloads folder, where a web page can leave a DLL unasked:
// no DLL is ever looked for beside the program. Every import that is not a KnownDLL is
// delay-loaded, so nothing has been loaded from the program's folder by now; from here on the
// loader looks in System32 alone. Windows 7 without its 2011 loader update lacks
// SetDefaultDllDirectories: there the current folder leaves the search and the delay-loaded DLLs
// are loaded from System32 by full path now, so that a later load by name finds them loaded.
// Runs as a constructor of the first priority, before every other static object of the program.
__attribute__((constructor(101))) void LimitDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    ::SetDllDirectoryW(L"");
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring names = QV_DELAY_LOADED_DLLS;
    for (size_t start = 0; start < names.size();) {
        const size_t end = std::min(names.find(L',', start), names.size());
        const std::wstring path = std::wstring(system) + L"\\" + names.substr(start, end - start);
        ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        start = end + 1;
    }
}
}  // namespace

CWinApp* CWinApp::s_pApp = nullptr;

CWinApp::CWinApp() { s_pApp = this; }

CWinApp::~CWinApp() {
    if (s_pApp == this) s_pApp = nullptr;
}

bool CWinApp::PreTranslate(MSG& msg) {
    for (HWND wnd = msg.hwnd; wnd; wnd = ::GetParent(wnd)) {
        if (CWnd* obj = CWnd::FromHandlePermanent(wnd)) {
            if (obj->PreTranslateMessage(&msg)) return true;
        }
        if (!(::GetWindowLongW(wnd, GWL_STYLE) & WS_CHILD)) break;  // stop at the top-level window
    }
    return false;
}

bool CWinApp::PumpMessage() {
    MSG msg{};
    if (::GetMessageW(&msg, nullptr, 0, 0) <= 0) {
        if (s_pApp) s_pApp->m_nExitCode = static_cast<int>(msg.wParam);
        return false;
    }
    if (!PreTranslate(msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

int CWinApp::Run() {
    while (PumpMessage()) {
    }
    return ExitInstance();
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    CWinApp* app = CWinApp::Get();
    if (!app) return 1;
    app->m_hInstance = instance;
    int code = 0;
    try {
        code = app->InitInstance() ? app->Run() : app->ExitInstance();
    } catch (...) {
        code = 1;
    }
    return code;
}
