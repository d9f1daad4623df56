// The path and text rules behind the environment probes. Pure: no Win32 types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The directories CreateFolderTree creates, in order: every prefix of the path up to a separator
// (separators turned into "/"), then the whole path ("c:", "c:/Windows", ..., "c:/Windows/Temp/X").
std::vector<std::wstring> FolderTreeSteps(const std::wstring& path);

// The part before the last backslash; empty when there is none.
std::wstring FolderOfPath(const std::wstring& path);
// The part after the last backslash; the whole path when there is none.
std::wstring TitleOfPath(const std::wstring& path);
std::wstring WithTrailingBackslash(const std::wstring& folder);
// "." and ".." (and any name ending in a dot) are not entries to visit.
bool EndsWithDot(const std::wstring& name);

// "\\StringFileInfo\\llllcccc\\FileVersion" for a translation word (language low, code page high).
std::wstring FileVersionKey(uint32_t translation);

// "64 Bit" for x64, "32 Bit" for x86, empty (keep the old text) for other architectures and
// for systems older than major version 5.
std::wstring BitnessText(unsigned long majorVersion, unsigned processorArchitecture);

// The program files folder to look in: the 32-bit one (CSIDL 0x2A) on 64-bit Windows, else 0x26.
int ScannerProgramFilesFolderId(const std::wstring& bitness);
std::wstring ScannerExecutablePath(const std::wstring& programFiles);
