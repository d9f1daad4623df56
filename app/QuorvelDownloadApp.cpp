// The one application object of the program.
#include "app/QuorvelDownloadApp.h"

#include "app/QuorvelDownloadDlg.h"
#include "system/DiagnosticsLog.h"

#include <shellapi.h>

CQuorvelDownloadApp theApp;

namespace {
// True when the command line asks for the diagnostics log's folder: "/log" or "-log", any case.
bool AskedForLogFolder() {
    int count = 0;
    LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args) return false;
    bool asked = false;
    for (int i = 1; i < count; ++i) asked = asked || _wcsicmp(args[i], L"/log") == 0 || _wcsicmp(args[i], L"-log") == 0;
    ::LocalFree(args);
    return asked;
}
}  // namespace

BOOL CQuorvelDownloadApp::InitInstance() {
    // However the run ends, what it logged reaches the file first (within a bound).
    const CFlushLogAtEnd flushLog;
    // Support's way to the log: show its folder and end, without a window or the server.
    if (AskedForLogFolder()) {
        m_nExitCode = OpenLogFolder() ? 0 : 1;
        return FALSE;
    }

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;  // 8 bytes
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    CQuorvelDownloadDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // The modal run is the whole program: no message loop of its own follows.
    LogEvent("end", {{"exit_code", m_nExitCode}});
    return FALSE;
}
