// The one application object of the program: reads the command line and runs the window, a passive
// window, a windowless run or the log's folder.
#include "app/QuorvelDownloadApp.h"

#include "app/QuietRun.h"
#include "app/QuorvelDownloadDlg.h"
#include "app/StartUpLog.h"
#include "system/DiagnosticsLog.h"

#include <shellapi.h>

CQuorvelDownloadApp theApp;

namespace {
// The arguments after the program's own name.
std::vector<std::wstring> CommandLineArguments() {
    std::vector<std::wstring> words;
    int count = 0;
    LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args) return words;
    for (int i = 1; i < count; ++i) words.emplace_back(args[i]);
    ::LocalFree(args);
    return words;
}

// /source's folder as a full path, so that what it names does not depend on the current folder later.
std::wstring FullPathOf(const std::wstring& folder) {
    if (folder.empty()) return folder;
    wchar_t full[MAX_PATH];
    const DWORD n = ::GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
    return n > 0 && n < MAX_PATH ? std::wstring(full, n) : folder;
}
}  // namespace

BOOL CQuorvelDownloadApp::InitInstance() {
    // However the run ends, what it logged reaches the file first (within a bound).
    const CFlushLogAtEnd flushLog;
    RunCommand command = ParseCommandLine(CommandLineArguments());
    command.sourceFolder = FullPathOf(command.sourceFolder);
    if (!command.understood) {
        LogEvent("command-line", {{"understood", false}, {"problem", command.problem}});
        m_nExitCode = ExitCodeOf(RoadOutcome::BadCommandLine);
        return FALSE;
    }
    // Support's way to the log: show its folder and end, without a window or the server.
    if (command.mode == RunMode::OpenLog) {
        m_nExitCode = OpenLogFolder() ? 0 : 1;
        return FALSE;
    }
    LogStartUp(RunModeName(command.mode));
    if (command.mode == RunMode::Check || command.mode == RunMode::Quiet) {
        CQuietRun run(command);
        m_nExitCode = run.Run();
        LogEvent("end", {{"exit_code", m_nExitCode}});
        return FALSE;
    }

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;  // 8 bytes
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    CQuorvelDownloadDlg dlg(nullptr, command);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // The modal run is the whole program: no message loop of its own follows.
    LogEvent("end", {{"exit_code", m_nExitCode}});
    return FALSE;
}
