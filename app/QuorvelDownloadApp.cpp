// The one application object of the program: reads the command line and runs the window, a passive
// window, a windowless run or the log's folder.
#include "app/QuorvelDownloadApp.h"

#include "app/QuietRun.h"
#include "app/QuorvelDownloadDlg.h"
#include "app/SingleRun.h"
#include "app/StartUpLog.h"
#include "app/Usage.h"
#include "system/DiagnosticsLog.h"
#include "system/HeldFolder.h"

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

// A command line not understood never opens a window: the script is told with 1639 and the log
// says what was wrong.
int RefuseCommandLine(const RunCommand& command) {
    const int code = ExitCodeOf(RoadOutcome::BadCommandLine);
    LogEvent("command-line", {{"understood", false},
                              {"problem", command.problem},
                              {"command_line", ::GetCommandLineW()},
                              {"exit_code", code}});
    return code;
}

// The road itself, windowless or in the window; this run holds the PC for its whole life.
int RunTheRoad(const RunCommand& command) {
    LogStartUp(RunModeName(command.mode));
    if (command.noRestart) LogEvent("command-line", {{"norestart", true}});
    CSingleRun single;
    if (!single.Acquire()) {
        // A user who starts the window again finds the first one in front of him; one whose PC is
        // held by a run without a window here is told so. A script's run ends without a word.
        const bool window = command.mode == RunMode::Window;
        const bool shown = window && BringRunningWindowToFront();
        LogEvent("road.abandoned", {{"reason", RoadOutcomeName(RoadOutcome::AnotherRun)}, {"window_shown", shown}});
        if (window && !shown) ShowAnotherRunNotice();
        return ExitCodeOf(RoadOutcome::AnotherRun);
    }
    if (command.mode == RunMode::Check || command.mode == RunMode::Quiet) {
        CQuietRun run(command);
        return run.Run();
    }
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;  // 8 bytes
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    CQuorvelDownloadDlg dlg(nullptr, command);
    CWinApp* app = CWinApp::Get();
    app->m_pMainWnd = &dlg;
    dlg.DoModal();
    app->m_pMainWnd = nullptr;
    // The modal run is the whole program: no message loop of its own follows.
    return app->m_nExitCode;
}
}  // namespace

BOOL CQuorvelDownloadApp::InitInstance() {
    // However the run ends, what it logged reaches the file first (within a bound).
    const CFlushLogAtEnd flushLog;
    RunCommand command = ParseCommandLine(CommandLineArguments());
    command.sourceFolder = FullPathOf(command.sourceFolder);
    command.logFile = FullPathOf(command.logFile);
    if (!command.logFile.empty()) CopyLogTo(command.logFile);
    if (!command.understood) {
        m_nExitCode = RefuseCommandLine(command);
        return FALSE;
    }
    switch (command.mode) {
    case RunMode::Usage:
        ShowUsage();
        m_nExitCode = 0;
        break;
    // Support's way to the log: show its folder and end, without a window or the server.
    case RunMode::OpenLog: m_nExitCode = OpenLogFolder() ? 0 : 1; break;
    case RunMode::Window:
    case RunMode::Check:
    case RunMode::Passive:
    case RunMode::Quiet: m_nExitCode = RunTheRoad(command); break;
    }
    LogEvent("end", {{"exit_code", m_nExitCode}});
    return FALSE;
}
