// The application object and the process entry (wWinMain).
#include "framework/WinApp.h"

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
