// The hand-off to the setup program: order the downloaded files, write NEXT_UPDATE_INFO.INI when
// there is more than one, end a running scanner program, launch the setup and close.
#include "system/EnvironmentProbes.h"
#include "system/LocalText.h"
#include "app/QuorvelDownloadDlg.h"
#include "framework/File.h"
#include "update/SetupSignature.h"
#include "update/logic/HandOffLogic.h"

#include <shellapi.h>

#include <memory>

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
}  // namespace

int CQuorvelDownloadDlg::HandOffToSetup() {
    const std::wstring folder = GetWorkFolder();
    std::vector<std::wstring> paths;
    probes::CollectFiles(folder, paths);
    SortInstallFiles(paths);

    if (NeedsHandOffFile(paths.size())) {
        CFile file;
        if (!file.OpenForWriting(folder + kHandOffFile)) {
            ShowNotice(LocalText(24));
            return 0;
        }
        const std::string bytes = ToThreadAnsi(BuildHandOffText(paths));
        const bool written = file.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
        if (!file.Close() || !written) {
            ShowNotice(LocalText(23));
            return 0;
        }
    }

    const std::wstring setup = ChooseSetupToLaunch(paths);
    // Held open, readable by others only, from the signature check until after the launch.
    std::unique_ptr<void, decltype(&::CloseHandle)> held(nullptr, &::CloseHandle);
    if (!setup.empty()) {
        HANDLE file = ::CreateFileW(setup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) held.reset(file);
        if (!held || !SetupSignatureAllowsLaunchWhilePainting(file, setup)) {
            ShowNotice(LocalText(13), LocalText(14));
            return 0;
        }
    }

    probes::CloseRunningScanner();
    if (!setup.empty())
        ::ShellExecuteW(nullptr, L"open", setup.c_str(), L"", nullptr, SW_SHOWNORMAL);
    SendMessage(WM_CLOSE, 0, 0);
    return 0;
}
