// The hand-off to the setup program.
#include "update/InstallHandOff.h"

#include "framework/BackgroundWork.h"
#include "framework/File.h"
#include "system/EnvironmentProbes.h"
#include "update/SetupSignature.h"
#include "update/logic/Catalogue.h"
#include "update/logic/HandOffLogic.h"

#include <shellapi.h>

#include <memory>

namespace {
const wchar_t kHandOffFile[] = L"\\NEXT_UPDATE_INFO.INI";

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

// The two checks of a held setup program read it whole (seconds for a large file under Wine).
constexpr DWORD kSetupCheckTimeoutMs = 180000;

// Checks the held setup program: a plain file with the digest the worker computed while writing
// it, whose signature the build's policy accepts. Runs off the user-interface thread through its
// own duplicate of the handle.
HandOffResult CheckHeldSetup(const CFile& held, const std::wstring& path, const Sha256Digest& expected) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(held.Handle(), &info)) return HandOffResult::SetupChanged;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return HandOffResult::SetupChanged;
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), held.Handle(), ::GetCurrentProcess(), &duplicate, 0, FALSE,
                           DUPLICATE_SAME_ACCESS))
        return HandOffResult::SetupChanged;
    const std::shared_ptr<void> file(duplicate, ::CloseHandle);
    const auto check = [file, path, expected]() -> int {
        Sha256Digest actual{};
        if (!CSha256::OfFile(file.get(), actual) || actual != expected)
            return static_cast<int>(HandOffResult::SetupChanged);
        if (!SetupSignatureAllowsLaunch(file.get(), path)) return static_cast<int>(HandOffResult::SignatureRefused);
        return static_cast<int>(HandOffResult::Launched);  // may be launched
    };
    return static_cast<HandOffResult>(
        RunWhilePainting(check, kSetupCheckTimeoutMs, static_cast<int>(HandOffResult::SetupChanged)));
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
        // Held from here until after the launch, nobody can write, rename or delete it.
        if (!source || !held.OpenForReading(setup)) return HandOffResult::SetupChanged;
        const HandOffResult checked = CheckHeldSetup(held, setup, source->digest);
        if (checked != HandOffResult::Launched) return checked;
    }

    probes::CloseRunningScanner();
    if (setup.empty()) return HandOffResult::NoSetupFile;
    const HINSTANCE launched = ::ShellExecuteW(nullptr, L"open", setup.c_str(), L"", nullptr, SW_SHOWNORMAL);
    // Results up to 32 are errors: not a program, access refused, elevation declined...
    return reinterpret_cast<INT_PTR>(launched) > 32 ? HandOffResult::Launched : HandOffResult::LaunchFailed;
}
