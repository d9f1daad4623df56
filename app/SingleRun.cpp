// The machine-wide run mutex and the way to the first run's window.
#include "app/SingleRun.h"

#include "app/QuorvelDownloadDlg.h"
#include "system/DiagnosticsLog.h"
#include "system/HeldFolder.h"

#include <sddl.h>

#include <string>

namespace {
// In the global namespace, so that runs in every session and of every account meet.
const wchar_t kRunMutexName[] = L"Global\\QuorvelDownloader.Run";
// What another account's run needs to wait on and take the mutex; nothing more.
constexpr DWORD kRunMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// The mutex's DACL: full control for SYSTEM, Administrators and the creating account, and to
// everyone else only the right to wait on it and release it, so another user's run can take part.
HANDLE CreateRunMutex() {
    const std::wstring user = CurrentUserSid();
    std::wstring sddl = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;WD)";
    if (!user.empty()) sddl += L"(A;;GA;;;" + user + L")";
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, sd, FALSE};
    const HANDLE mutex = ::CreateMutexExW(&attributes, kRunMutexName, 0, kRunMutexAccess);
    const DWORD error = ::GetLastError();
    ::LocalFree(sd);
    ::SetLastError(error);
    return mutex;
}
}  // namespace

CSingleRun::~CSingleRun() {
    if (m_bOwned) ::ReleaseMutex(m_mutex.Get());
}

bool CSingleRun::Acquire() {
    m_mutex = CHandle(CreateRunMutex());
    if (!m_mutex) {
        LogPlatformError("run.single", ::GetLastError(), {{"held", false}});
        return false;
    }
    // Abandoned: the run that held it ended without letting go; this one takes over.
    const DWORD waited = ::WaitForSingleObject(m_mutex.Get(), 0);
    m_bOwned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    LogEvent("run.single", {{"held", m_bOwned}, {"abandoned", waited == WAIT_ABANDONED}});
    return m_bOwned;
}

bool BringRunningWindowToFront() {
    const HWND window = ::FindWindowW(L"#32770", kMainWindowTitle);
    if (!window) return false;
    if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
    return true;
}
