// How the hand-off ended, the ordering of the downloaded files, the text of NEXT_UPDATE_INFO.INI
// and the choice of the setup program to launch.
#pragma once

#include <cstddef>
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
    ScannerRunning,     // the scanner program runs and this run may not end it; nothing ended or launched
};

// How far the hand-off followed the setup program it launched.
enum class SetupWait {
    NotWaited,     // launched and left to itself: the window run, or no unattended arguments
    Ended,         // ran to its end; its exit code is the run's
    StillRunning,  // still running when the run's deadline came
};

// The six characters before the last "." of the path read as a decimal number the way wcstol
// does (leading white space and a sign allowed, 0 when there are no digits).
long InstallFileVersion(const std::wstring& path);
// Rank of the second "_" field of the path: FULL 0, APP 1, DIAG 2, FW 3, OS 4, anything else 5.
int InstallFileKindRank(const std::wstring& path);

// Strict weak ordering: higher version first, then by kind rank, then by path, so the FULL setup
// of the newest version comes first.
bool CompareInstallFiles(const std::wstring& a, const std::wstring& b);
void SortInstallFiles(std::vector<std::wstring>& paths);

// The hand-off file is written only when there is more than one file.
bool NeedsHandOffFile(size_t count);
// "[NEXT_FILE]", "INDEX =0", then "k = path" per path, each line ending in CR LF.
std::wstring BuildHandOffText(const std::vector<std::wstring>& sortedPaths);
// The path under which the hand-off lists a file the worker wrote: the work folder, one
// backslash, the file's name (the worker writes only directly into the work folder).
std::wstring HandOffPathOf(const std::wstring& workFolder, const std::wstring& writtenPath);
// The first path whose upper-case form is a saved setup program (ends in ".EXE"), in upper case;
// empty when there is none.
std::wstring ChooseSetupToLaunch(const std::vector<std::wstring>& sortedPaths);
