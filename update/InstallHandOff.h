// The hand-off to the setup program after a finished download: list this run's files, write
// NEXT_UPDATE_INFO.INI when there are two or more, refuse a setup program that failed its check,
// end a running scanner program and launch the setup while it is still held.
#pragma once

#include "update/HeldSetup.h"

#include <string>
#include <vector>

enum class HandOffResult {
    Launched,           // the setup program was started
    NoSetupFile,        // nothing to launch; the scanner program was still ended
    FolderUnusable,     // the work folder cannot be opened, made private or rid of what this run did
                        // not write; nothing ended or launched
    ListNotCreated,     // the hand-off file could not be created; nothing ended or launched
    ListNotWritten,     // the hand-off file could not be written; nothing ended or launched
    SetupChanged,       // the setup program is not the one downloaded; nothing ended or launched
    SignatureRefused,   // refused for its signature (SetupSignature.h); nothing ended or launched
    ReleaseRefused,     // not the maker's current release, or older than the installed scanner;
                        // nothing ended or launched
    LaunchFailed,       // the setup program did not start; the scanner program was ended
    ElevationDeclined,  // the user declined the setup program's elevation; the scanner program was ended
};

// Only the files this run's worker wrote into `workFolder` are listed and launched, from a folder
// that only the user, SYSTEM and Administrators can change and that holds nothing else: whatever
// else lies there is removed first. The setup program is launched only as the download's check
// left it, held and found sound. A setup program that is not launched, whatever the reason, is
// removed from the work folder at once.
HandOffResult RunInstallHandOff(const std::wstring& workFolder, FinishedDownload& download);
