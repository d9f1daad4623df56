// The run locks as the platform has them, the trusted runs' record of another account's hold, the
// way to the first run's window and the notice when there is none.
#include "app/SingleRun.h"

#include "app/QuorvelDownloadDlg.h"
#include "controls/DlgMsgBox.h"
#include "controls/logic/DpiScale.h"
#include "framework/Dpi.h"
#include "resources/resource.h"
#include "system/DiagnosticsLog.h"
#include "system/HeldFolder.h"
#include "system/LocalText.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {
// In the global namespace, so that runs in every session and of every account meet.
const wchar_t kRunMutexName[] = L"Global\\QuorvelDownloader.Run";
// The private namespace (and its boundary) that only SYSTEM and administrators can make or open.
const wchar_t kTrustedNamespace[] = L"QuorvelDownloader";
const wchar_t kTrustedMutexName[] = L"QuorvelDownloader\\Run";
// What another account's run needs to wait on and take the mutex; nothing more.
constexpr DWORD kRunMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
// Where the trusted runs keep when one of them first found another account holding the lock:
// under HKLM, which only they can write.
const wchar_t kHoldKey[] = L"SOFTWARE\\QuorvelDownloader";
const wchar_t kHoldValue[] = L"OtherAccountHoldSince";

struct LocalFreeDeleter {
    void operator()(void* p) const { ::LocalFree(p); }
};
using LocalMemory = std::unique_ptr<void, LocalFreeDeleter>;

LocalMemory SecurityDescriptor(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return nullptr;
    return LocalMemory(sd);
}

// SYSTEM's token counts as elevated too.
bool IsTrustedRun() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const CHandle hold(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

// The mutex's owner: the account that made it (an elevated administrator's objects belong to
// Administrators).
LockMaker MakerOf(HANDLE mutex) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &sd) != ERROR_SUCCESS)
        return LockMaker::Unreadable;
    const LocalMemory hold(sd);
    if (!owner || !::IsValidSid(owner)) return LockMaker::Unreadable;
    if (::IsWellKnownSid(owner, WinLocalSystemSid)) return LockMaker::System;
    if (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) return LockMaker::Administrators;
    PSID user = nullptr;
    if (!::ConvertStringSidToSidW(CurrentUserSid().c_str(), &user)) return LockMaker::Unreadable;
    const LocalMemory userHold(user);
    return ::EqualSid(owner, user) ? LockMaker::ThisAccount : LockMaker::OtherAccount;
}

struct SharedLockFound {
    SharedLock state = SharedLock::Refused;
    LockMaker maker = LockMaker::Unreadable;
    bool abandoned = false;
    DWORD error = 0;
};

// The mutex's DACL: full control for SYSTEM, Administrators and the creating account, and to
// everyone else only the right to wait on it and release it, so another user's run can take part.
// A trusted run also reads who made a mutex it finds held.
SharedLockFound TakeSharedLock(bool readMaker, CHandle& mutex) {
    SharedLockFound found;
    const std::wstring user = CurrentUserSid();
    std::wstring sddl = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;WD)";
    if (!user.empty()) sddl += L"(A;;GA;;;" + user + L")";
    const LocalMemory sd = SecurityDescriptor(sddl);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, sd.get(), FALSE};
    const DWORD access = kRunMutexAccess | (readMaker ? READ_CONTROL : 0);
    mutex = CHandle(sd ? ::CreateMutexExW(&attributes, kRunMutexName, 0, access) : nullptr);
    if (!mutex) {
        found.error = ::GetLastError();
        return found;
    }
    // Abandoned: the run that held it ended without letting go; this one takes over.
    const DWORD waited = ::WaitForSingleObject(mutex.Get(), 0);
    found.abandoned = waited == WAIT_ABANDONED;
    if (waited == WAIT_OBJECT_0 || found.abandoned) {
        found.state = SharedLock::Taken;
        found.maker = LockMaker::ThisAccount;
    } else {
        found.state = SharedLock::Held;
        found.maker = readMaker ? MakerOf(mutex.Get()) : LockMaker::Unreadable;
    }
    return found;
}

int64_t MinutesNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 600000000u);
}

// One view of the key for both builds.
constexpr REGSAM kHoldKeyView = KEY_WOW64_64KEY;

int64_t OtherHoldMinutes() {
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHoldKey, 0, KEY_QUERY_VALUE | kHoldKeyView, key.Out()) != ERROR_SUCCESS)
        return -1;
    uint64_t since = 0;
    DWORD type = 0, size = sizeof since;
    const LSTATUS status =
        ::RegQueryValueExW(key.Get(), kHoldValue, nullptr, &type, reinterpret_cast<BYTE*>(&since), &size);
    if (status != ERROR_SUCCESS || type != REG_QWORD || size != sizeof since) return -1;
    // A clock set back counts as no time passed.
    return std::max<int64_t>(0, MinutesNow() - static_cast<int64_t>(since));
}

void KeepHoldRecord(HoldRecord record) {
    if (record == HoldRecord::Keep) return;
    CRegKey key;
    if (record == HoldRecord::Start) {
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHoldKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE | kHoldKeyView, nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
            return;
        const uint64_t now = static_cast<uint64_t>(MinutesNow());
        ::RegSetValueExW(key.Get(), kHoldValue, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&now), sizeof now);
    } else {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHoldKey, 0, KEY_SET_VALUE | kHoldKeyView, key.Out()) != ERROR_SUCCESS)
            return;
        ::RegDeleteValueW(key.Get(), kHoldValue);
    }
}
}  // namespace

CTrustedRunLock::~CTrustedRunLock() { Release(); }

TrustedLock CTrustedRunLock::Take() {
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size)) return TrustedLock::Unavailable;
    m_boundary = ::CreateBoundaryDescriptorW(kTrustedNamespace, 0);
    if (!m_boundary || !::AddSIDToBoundaryDescriptor(&m_boundary, admins)) return TrustedLock::Unavailable;
    const LocalMemory sd = SecurityDescriptor(L"D:(A;;GA;;;SY)(A;;GA;;;BA)");
    if (!sd) return TrustedLock::Unavailable;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, sd.get(), FALSE};
    m_namespace = ::CreatePrivateNamespaceW(&attributes, m_boundary, kTrustedNamespace);
    if (!m_namespace && ::GetLastError() == ERROR_ALREADY_EXISTS)
        m_namespace = ::OpenPrivateNamespaceW(m_boundary, kTrustedNamespace);
    if (!m_namespace) return TrustedLock::Unavailable;
    m_mutex = CHandle(::CreateMutexExW(&attributes, kTrustedMutexName, 0, kRunMutexAccess));
    if (!m_mutex) return TrustedLock::Unavailable;
    const DWORD waited = ::WaitForSingleObject(m_mutex.Get(), 0);
    m_bOwned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return m_bOwned ? TrustedLock::Taken : TrustedLock::Held;
}

void CTrustedRunLock::Release() {
    if (m_bOwned) ::ReleaseMutex(m_mutex.Get());
    m_bOwned = false;
    m_mutex.Reset();
    if (m_namespace) ::ClosePrivateNamespace(m_namespace, 0);
    m_namespace = nullptr;
    if (m_boundary) ::DeleteBoundaryDescriptor(m_boundary);
    m_boundary = nullptr;
}

CSingleRun::~CSingleRun() {
    if (m_bOwned) ::ReleaseMutex(m_mutex.Get());
}

bool CSingleRun::Acquire() {
    RunLockFacts facts;
    facts.trustedRun = IsTrustedRun();
    if (facts.trustedRun) facts.trusted = m_trusted.Take();
    SharedLockFound found;
    if (facts.trusted != TrustedLock::Held) {
        found = TakeSharedLock(facts.trustedRun, m_mutex);
        m_bOwned = found.state == SharedLock::Taken;
        facts.shared = found.state;
        facts.maker = found.maker;
        if (facts.trustedRun && found.state == SharedLock::Held) facts.otherHoldMinutes = OtherHoldMinutes();
    }
    const RunLockDecision decision = DecideRunLock(facts);
    if (facts.trustedRun) KeepHoldRecord(decision.record);
    std::vector<CLogFact> log{{"held", decision.verdict != RunLockVerdict::Busy},
                              {"verdict", RunLockVerdictName(decision.verdict)},
                              {"trusted_run", facts.trustedRun},
                              {"abandoned", found.abandoned}};
    if (facts.trustedRun && found.state == SharedLock::Held) log.emplace_back("maker", LockMakerName(found.maker));
    if (found.error) log.emplace_back("error", found.error);
    LogEvent("run.single", log);
    if (decision.verdict != RunLockVerdict::Busy) return true;
    // A run that ends at once keeps no other run out meanwhile (its notice may wait for the user).
    m_trusted.Release();
    return false;
}

bool BringRunningWindowToFront() {
    const HWND window = ::FindWindowW(L"#32770", kMainWindowTitle);
    if (!window) return false;
    if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
    return true;
}

void ShowAnotherRunNotice() {
    ChooseLanguageFromUserInterface();
    g_localText.Load();
    SetUiScale(DpiScale(WindowDpi(nullptr)));
    CDlg_MSG_Box box(nullptr);
    box.SetLanguage(LanguageIndex);
    if (!box.Create(IDD_MSG_BOX, nullptr)) return;
    LogEvent("notice", {{"text", static_cast<int>(TextId::AnotherUpdateRunning)}});
    box.ShowAndWait(LocalText(TextId::AnotherUpdateRunning), L"", 10, 6);
}
