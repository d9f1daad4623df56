// The application object and the process entry.
#pragma once

#include "framework/Wnd.h"

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The one application object of the process.
    static CWinApp* Get() { return s_pApp; }

    // Runs once at start; false ends the process at once (no message loop of its own).
    virtual BOOL InitInstance() { return TRUE; }
    // The process exit code: the wParam of the quit request that ended the last message loop.
    virtual int ExitInstance() { return m_nExitCode; }
    // A message loop for applications whose InitInstance returns true.
    int Run();

    // Takes one message, lets the windows pre-translate it, dispatches it. False on WM_QUIT,
    // whose exit code is kept for ExitInstance.
    static bool PumpMessage();
    // Lets the windows from the message's target up to its top-level window pre-translate it.
    static bool PreTranslate(MSG& msg);

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    int m_nExitCode = 0;

private:
    static CWinApp* s_pApp;
};
