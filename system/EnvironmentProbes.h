// Small looks at the machine: the Windows version and bitness, the installed scanner program and
// its version, running processes, folders, and the program's own file. No operation shows a
// message; each reports failure through its result.
#pragma once

#include "framework/StringArray.h"
#include "framework/Win32.h"

#include <string>
#include <vector>

// The true system version (compatibility settings can't lower it), cached after the first success.
bool GetWindowsVersion(DWORD& major, DWORD& minor);
// Sets `bitness` to "64 Bit" or "32 Bit"; leaves it unchanged when it can't tell.
void DetectWindowsBitness(std::wstring& bitness);
// Refreshes `bitness` and sets `installedVersion` to the scanner program's file version or "-".
// `owner` owns the shell request for the program files folder. Always 1.
int ReadInstalledScannerVersion(HWND owner, std::wstring& bitness, std::wstring& installedVersion);
// The "FileVersion" text of the file's first translation, or "-".
std::wstring GetFileVersionString(const std::wstring& path);
// The id of the first process whose file name contains `fragment` (case-sensitive), or 0.
DWORD FindProcessByName(const std::wstring& fragment);
// Ends the first process whose file name contains `fragment` (case-sensitive): 1 when one was
// terminated, else 0.
int KillProcessByName(const std::wstring& fragment);
// True while a scanner program runs (the process CloseRunningScanner would end).
bool IsScannerRunning();
// Ends a running scanner program and gives it a moment to go.
void CloseRunningScanner();
// Creates the folder and its missing parents; failures (existing folders too) pass silently.
void CreateFolderTree(const std::wstring& path);
// Appends the paths of the files under the folder, subfolders included; true when any was added.
bool CollectFiles(const std::wstring& folder, std::vector<std::wstring>& files);
inline bool CollectFiles(const std::wstring& folder, CStringArray& files) {
    return CollectFiles(folder, files.Items());
}
// The running program's folder without a trailing backslash.
std::wstring GetModuleFolder();
// The running program's file name.
std::wstring GetModuleFileTitle();
// True when the path names an existing file or folder.
bool FileExists(const std::wstring& path);

// The same operations under a qualified spelling, for callers that prefer it.
namespace probes {
using ::CloseRunningScanner;
using ::CollectFiles;
using ::CreateFolderTree;
using ::DetectWindowsBitness;
using ::FileExists;
using ::GetFileVersionString;
using ::GetModuleFileTitle;
using ::GetModuleFolder;
using ::GetWindowsVersion;
using ::IsScannerRunning;
using ::KillProcessByName;
using ::ReadInstalledScannerVersion;
}  // namespace probes
