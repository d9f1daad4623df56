// The hand-off to the setup program.
#include "update/handoff/InstallHandOff.h"

#include "framework/File.h"
#include "framework/Handle.h"
#include "system/DiagnosticsLog.h"
#include "system/EnvironmentProbes.h"
#include "system/HeldFolder.h"
#include "system/logic/ProbePaths.h"
#include "update/engine/UpdateDiagnostics.h"
#include "update/handoff/logic/HandOffLogic.h"

#include <shellapi.h>

namespace {
const wchar_t kHandOffFile[] = L"NEXT_UPDATE_INFO.INI";

// The hand-off text in the thread's ANSI code page, converted in one piece.
std::string ToThreadAnsi(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr,
                              nullptr);
    return bytes;
}

// Starts the checked setup program as `start` says and, for an unattended install, waits for its
// end within the bound.
HandOffEnd Launch(const CHeldSetup& setup, const SetupStart& start) {
    const std::wstring arguments = start.unattended ? setup.QuietArguments() : std::wstring();
    const bool waits = !arguments.empty();
    SHELLEXECUTEINFOW launch{};
    launch.cbSize = sizeof launch;
    launch.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | (waits ? SEE_MASK_NOCLOSEPROCESS : 0);
    launch.lpVerb = L"open";
    launch.lpFile = setup.Path().c_str();
    launch.lpParameters = waits ? arguments.c_str() : nullptr;
    launch.nShow = waits && start.hidden ? SW_HIDE : SW_SHOWNORMAL;
    const bool launched = ::ShellExecuteExW(&launch) != FALSE;
    const DWORD error = launched ? ERROR_SUCCESS : ::GetLastError();
    if (launched && waits) LogEvent("handoff.arguments", {{"arguments", arguments}, {"hidden", start.hidden}});
    LogLaunch(setup.Path(), launched, error);
    HandOffEnd end;
    // Not a program, access refused, or the user said no to the elevation prompt.
    if (!launched)
        end.result = error == ERROR_CANCELLED ? HandOffResult::ElevationDeclined : HandOffResult::LaunchFailed;
    if (!launched || !launch.hProcess) return end;
    const CHandle process(launch.hProcess);
    end.wait = ::WaitForSingleObject(process.Get(), start.waitMs) == WAIT_OBJECT_0 ? SetupWait::Ended
                                                                                   : SetupWait::StillRunning;
    if (end.wait == SetupWait::Ended && !::GetExitCodeProcess(process.Get(), &end.setupExitCode))
        end.wait = SetupWait::StillRunning;
    if (end.wait == SetupWait::Ended)
        LogEvent("setup.ended", {{"exit_code", end.setupExitCode}});
    else
        LogEvent("setup.ended", {{"still_running", true}, {"waited_ms", start.waitMs}});
    return end;
}

// Everything but the removal of a setup program that is not launched.
HandOffEnd HandOff(const std::wstring& workFolder, const FinishedDownload& download, bool mayEndScanner,
                   const SetupStart& start) {
    const std::vector<std::wstring> paths = HandOffPaths(workFolder, download.files);
    // Held until the launch has returned: the hand-off file goes into the work folder itself, not
    // through a link put in its place.
    CHeldFolder folder;
    const FolderJudgement held = folder.Open(workFolder, FolderDemand::MadePrivate);
    if (held.verdict != FolderVerdict::Held) {
        LogRefusedFolder("handoff.folder", folder, held);
        return {HandOffResult::FolderUnusable};
    }
    // The setup program finds beside itself only what this run wrote: no planted library, no
    // planted hand-off file.
    std::vector<std::wstring> names;
    for (const std::wstring& path : paths) names.push_back(TitleOfPath(path));
    if (!folder.RemoveAllBut(names)) {
        LogEvent("handoff.folder", {{"refused", "not-emptied"}, {"folder", folder.Path()}});
        return {HandOffResult::FolderUnusable};
    }
    if (NeedsHandOffFile(paths.size())) {
        CFile list;
        if (!folder.Create(kHandOffFile, list)) return {HandOffResult::ListNotCreated};
        const std::string bytes = ToThreadAnsi(BuildHandOffText(paths));
        const bool written = list.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
        const bool closed = list.Close();
        LogEvent("handoff.list", {{"files", paths.size()}, {"written", written && closed}});
        if (!closed || !written) return {HandOffResult::ListNotWritten};
    }

    const std::wstring setup = ChooseSetupToLaunch(paths);
    if (!setup.empty()) {
        // Launched only as checked and held since: the same path, found sound.
        if (!download.setup || download.setup->Path() != setup) return {HandOffResult::SetupChanged};
        switch (download.setup->Verdict()) {
        case SetupVerdict::Ready: break;
        case SetupVerdict::Changed: return {HandOffResult::SetupChanged};
        case SetupVerdict::SignatureRefused: return {HandOffResult::SignatureRefused};
        case SetupVerdict::ReleaseRefused: return {HandOffResult::ReleaseRefused};
        }
        if (download.setup->ReleaseExpired()) return {HandOffResult::ReleaseRefused};
    }

    // A run that may not end a scanner in use looks again right before it would.
    if (!mayEndScanner && probes::IsScannerRunning()) return {HandOffResult::ScannerRunning};
    probes::CloseRunningScanner();
    if (setup.empty()) return {HandOffResult::NoSetupFile};
    return Launch(*download.setup, start);
}

}  // namespace

HandOffEnd RunInstallHandOff(const std::wstring& workFolder, FinishedDownload& download, bool mayEndScanner,
                             const SetupStart& start) {
    const HandOffEnd end = HandOff(workFolder, download, mayEndScanner, start);
    if (end.result != HandOffResult::Launched && download.setup) download.setup->Discard();
    return end;
}
