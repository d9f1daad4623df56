#include "system/EnvironmentProbes.h"

#include "framework/File.h"
#include "system/DiagnosticsLog.h"

#include <lm.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdint>

#include "system/logic/ProbePaths.h"

namespace {

// Major version in the high half, minor in the low; 0 until the first successful query.
std::atomic<uint64_t> g_windowsVersion{0};

// Walks the entries of a folder, "." names left out.
template <typename Visit>
bool ForEachEntry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool more = true;
    do {
        if (!EndsWithDot(found.cFileName)) more = visit(std::wstring(found.cFileName), found.dwFileAttributes);
    } while (more && FindNextFileW(find, &found));
    FindClose(find);
    return true;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : MAX_PATH);
}

}  // namespace

bool GetWindowsVersion(DWORD& major, DWORD& minor) {
    uint64_t cached = g_windowsVersion.load();
    if ((cached >> 32) == 0) {
        WKSTA_INFO_100* info = nullptr;
        if (NetWkstaGetInfo(nullptr, 100, reinterpret_cast<LPBYTE*>(&info)) != NERR_Success || !info) return false;
        cached = (uint64_t{info->wki100_ver_major} << 32) | info->wki100_ver_minor;
        NetApiBufferFree(info);
        // Every caller that gets here stores the same value.
        g_windowsVersion.store(cached);
    }
    major = static_cast<DWORD>(cached >> 32);
    minor = static_cast<DWORD>(cached & 0xFFFFFFFFu);
    return true;
}

void DetectWindowsBitness(std::wstring& bitness) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
    GetWindowsVersion(version.dwMajorVersion, version.dwMinorVersion);

    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    const std::wstring text = BitnessText(version.dwMajorVersion, system.wProcessorArchitecture);
    if (!text.empty()) bitness = text;
}

int ReadInstalledScannerVersion(HWND owner, std::wstring& bitness, std::wstring& installedVersion) {
    DetectWindowsBitness(bitness);
    wchar_t programFiles[MAX_PATH] = {};
    std::wstring version = L"-";
    // Without the folder the path would point at the root of the current drive.
    const int folderId = LookupsOf(sizeof(void*) * 8, bitness).scannerFolderId;
    if (SHGetSpecialFolderPathW(owner, programFiles, folderId, FALSE))
        version = GetFileVersionString(ScannerExecutablePath(programFiles));
    if (!version.empty()) installedVersion = version;
    return 1;
}

std::wstring GetFileVersionString(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return L"-";
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return L"-";

    uint32_t translation = 0;
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) && length >= sizeof translation)
        translation = *static_cast<const uint32_t*>(value);

    std::wstring result = L"-";
    if (VerQueryValueW(data.data(), FileVersionKey(translation).c_str(), &value, &length) && value) {
        const wchar_t* text = static_cast<const wchar_t*>(value);
        result.assign(text, wcsnlen(text, length));
    }
    return result;
}

DWORD FindProcessByName(const std::wstring& fragment) {
    // An empty fragment would match the first process of the system.
    if (fragment.empty()) return 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    DWORD found = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        if (std::wstring(entry.szExeFile).find(fragment) != std::wstring::npos) found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

int KillProcessByName(const std::wstring& fragment) {
    const DWORD id = FindProcessByName(fragment);
    if (id == 0) return 0;
    int result = 0;
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
        result = TerminateProcess(process, 0) ? 1 : 0;
        CloseHandle(process);
    }
    return result;
}

bool IsScannerRunning() { return FindProcessByName(L"TALVIX") != 0; }

void CloseRunningScanner() {
    LogEvent("scanner.close", {{"ended", KillProcessByName(L"TALVIX") == 1}});
    Sleep(300);
}

void CreateFolderTree(const std::wstring& path) {
    for (const std::wstring& folder : FolderTreeSteps(path)) CreateDirectoryW(folder.c_str(), nullptr);
}

bool CollectFiles(const std::wstring& folder, std::vector<std::wstring>& files) {
    const std::wstring base = WithTrailingBackslash(folder);
    bool added = false;
    ForEachEntry(base, [&](const std::wstring& name, DWORD attributes) {
        if (attributes == FILE_ATTRIBUTE_DIRECTORY) {
            added = CollectFiles(base + name, files) || added;
        } else {
            files.push_back(base + name);
            added = true;
        }
        return true;
    });
    return added;
}

std::wstring GetModuleFolder() { return FolderOfPath(ModulePath()); }

std::wstring GetModuleFileTitle() { return TitleOfPath(ModulePath()); }

bool FileExists(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != FALSE;
}
