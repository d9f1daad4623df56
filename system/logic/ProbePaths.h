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

// What the program looks up outside itself, and where: the same places for the 32-bit and the
// 64-bit build on the same Windows, asked for explicitly rather than left to WOW64's redirection.
// The scanner is a 32-bit program: its installer puts it under the 32-bit program files folder
// (CSIDL 0x2A on 64-bit Windows, 0x26 on 32-bit Windows). The machine's identity lives in the
// registry's native view, which a 32-bit process reaches only by asking for it.
enum class RegistryView { Native, Wow32 };
struct MachineLookups {
    int scannerFolderId;
    RegistryView machineIdView;
};
// programBits: 32 or 64, the build asking; windowsBitness: BitnessText's answer.
MachineLookups LookupsOf(unsigned programBits, const std::wstring& windowsBitness);
std::wstring ScannerExecutablePath(const std::wstring& programFiles);
