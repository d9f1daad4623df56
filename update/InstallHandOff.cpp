// The hand-off to the setup program.
#include "update/InstallHandOff.h"

#include "framework/File.h"
#include "system/EnvironmentProbes.h"
#include "update/logic/Catalogue.h"
#include "update/logic/HandOffLogic.h"

#include <shellapi.h>

namespace {
const wchar_t kHandOffFile[] = L"\\NEXT_UPDATE_INFO.INI";

// The hand-off text in the thread's ANSI code page, converted in one piece.
std::string ToThreadAnsi(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n,
                              nullptr, nullptr);
    return bytes;
}

// Opens the setup program and holds it, then checks it is a plain file with the digest the worker
// computed while writing it. Held, nobody can change it until it has been launched.
bool HoldDownloadedSetup(CFile& held, const std::wstring& path, const Sha256Digest& expected) {
    if (!held.OpenForReading(path)) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(held.Handle(), &info)) return false;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    Sha256Digest actual{};
    return CSha256::OfFile(held.Handle(), actual) && actual == expected;
}

}  // namespace

HandOffResult RunInstallHandOff(const std::wstring& workFolder, const std::vector<DownloadedFile>& files) {
    std::vector<std::wstring> paths;
    for (const DownloadedFile& file : files) paths.push_back(HandOffPathOf(workFolder, file.path));
    SortInstallFiles(paths);

    if (NeedsHandOffFile(paths.size())) {
        CFile list;
        if (!list.OpenForWriting(workFolder + kHandOffFile)) return HandOffResult::ListNotCreated;
        const std::string bytes = ToThreadAnsi(BuildHandOffText(paths));
        const bool written = list.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
        if (!list.Close() || !written) return HandOffResult::ListNotWritten;
    }

    const std::wstring setup = ChooseSetupToLaunch(paths);
    CFile held;
    if (!setup.empty()) {
        const DownloadedFile* source = nullptr;
        for (const DownloadedFile& file : files) {
            if (ToUpperPath(HandOffPathOf(workFolder, file.path)) == setup) source = &file;
        }
        if (!source || !HoldDownloadedSetup(held, setup, source->digest)) return HandOffResult::SetupChanged;
    }

    probes::CloseRunningScanner();
    if (setup.empty()) return HandOffResult::NoSetupFile;
    const HINSTANCE launched = ::ShellExecuteW(nullptr, L"open", setup.c_str(), L"", nullptr, SW_SHOWNORMAL);
    // Results up to 32 are errors: not a program, access refused, elevation declined...
    return reinterpret_cast<INT_PTR>(launched) > 32 ? HandOffResult::Launched : HandOffResult::LaunchFailed;
}
