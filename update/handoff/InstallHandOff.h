// The hand-off to the setup program after a finished download: list this run's files, write
// NEXT_UPDATE_INFO.INI when there are two or more, refuse a setup program that failed its check,
// end a running scanner program and launch the setup while it is still held.
#pragma once

#include "update/handoff/HeldSetup.h"
#include "update/handoff/logic/HandOffLogic.h"

#include <string>
#include <vector>

// How the setup program is started.
struct SetupStart {
    // A passive or quiet run: with the maker's arguments for an unattended install, when the
    // statement names them, and waiting for the setup's end; without them it is launched as by
    // the window run and left to itself.
    bool unattended = false;
    bool hidden = false;  // no window of the setup's own (a quiet run)
    DWORD waitMs = 0;     // how long an unattended install is waited for
};

// How the hand-off ended, with the setup program's own exit code when it was waited for.
struct HandOffEnd {
    HandOffResult result = HandOffResult::Launched;
    SetupWait wait = SetupWait::NotWaited;
    DWORD setupExitCode = 0;
};

// Only the files this run's worker wrote into `workFolder` are listed and launched, from a folder
// that only the user, SYSTEM and Administrators can change and that holds nothing else: whatever
// else lies there is removed first. The setup program is launched only as the download's check
// left it, held and found sound. A setup program that is not launched, whatever the reason, is
// removed from the work folder at once. Without `mayEndScanner` a running scanner program stops
// the hand-off instead of being ended.
HandOffEnd RunInstallHandOff(const std::wstring& workFolder, FinishedDownload& download, bool mayEndScanner = true,
                             const SetupStart& start = SetupStart());
