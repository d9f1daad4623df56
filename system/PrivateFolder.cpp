// The work folder's security: its creation with a protected DACL, the check of an existing one
// against the rule of FolderSafety.h, and the removal of what this run did not write.
#include "system/PrivateFolder.h"

#include "system/EnvironmentProbes.h"
#include "system/logic/FolderSafety.h"
#include "system/logic/ProbePaths.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>

namespace {

struct LocalFreeDeleter {
    void operator()(void* p) const { ::LocalFree(p); }
};
using LocalMemory = std::unique_ptr<void, LocalFreeDeleter>;

// Full control for SYSTEM, Administrators and the user, passed on to everything inside, nothing
// inherited from the parent.
LocalMemory PrivateSecurityDescriptor(const std::wstring& userSid) {
    if (userSid.empty()) return nullptr;
    const std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + userSid + L")";
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return nullptr;
    return LocalMemory(sd);
}

Trustee TrusteeOf(PSID sid, PSID user) {
    if (!sid || !::IsValidSid(sid)) return Trustee::Other;
    if (user && ::EqualSid(sid, user)) return Trustee::User;
    if (::IsWellKnownSid(sid, WinLocalSystemSid)) return Trustee::System;
    if (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return Trustee::Administrators;
    return Trustee::Other;
}

// Reads the folder's owner and DACL through the handle and applies the rule.
bool IsPrivate(HANDLE folder, PSID user) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                          nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    const LocalMemory hold(sd);
    std::vector<FolderAce> aces;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header))) return false;
        FolderAce ace;
        switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE: {
            auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            ace.trustee = TrusteeOf(&allowed->SidStart, user);
            ace.mask = allowed->Mask;
            break;
        }
        case ACCESS_DENIED_ACE_TYPE: ace.allow = false; break;
        default:  // callback and object entries may grant anything to anybody
            ace.mask = kFolderChangeRights;
            break;
        }
        aces.push_back(ace);
    }
    return FolderIsPrivate(TrusteeOf(owner, user), dacl != nullptr, aces);
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace

std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
    std::wstring text;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    wchar_t* sid = nullptr;
    if (size && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        text = sid;
        ::LocalFree(sid);
    }
    ::CloseHandle(token);
    return text;
}

bool OpenPrivateFolder(const std::wstring& path, CFile& held) {
    held.Close();
    const std::wstring userSid = CurrentUserSid();
    const LocalMemory sd = PrivateSecurityDescriptor(userSid);
    PSID user = nullptr;
    if (!sd || !::ConvertStringSidToSidW(userSid.c_str(), &user)) return false;
    const LocalMemory userHold(user);

    std::wstring folder = path;
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    probes::CreateFolderTree(FolderOfPath(folder));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, sd.get(), FALSE};
    ::CreateDirectoryW(folder.c_str(), &attributes);  // an existing folder is checked below
    if (!held.OpenFolder(folder)) return false;

    // A second handle for the security, checked to be the held folder itself.
    const HANDLE security =
        ::CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool ok = false;
    if (security != INVALID_HANDLE_VALUE) {
        if (SameFile(security, held.Handle())) {
            ok = IsPrivate(security, user);
            if (!ok) {
                // Another owner's folder stays as it is; the owner's own one is given the DACL.
                BOOL present = FALSE, defaulted = FALSE;
                PACL dacl = nullptr;
                ok = ::GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted) &&
                     ::SetSecurityInfo(security, SE_FILE_OBJECT,
                                       DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, dacl, nullptr) == ERROR_SUCCESS &&
                     IsPrivate(security, user);
            }
        }
        ::CloseHandle(security);
    }
    if (!ok) held.Close();
    return ok;
}

bool RemoveAllBut(const std::wstring& folder, const std::vector<std::wstring>& keep) {
    const std::wstring base = WithTrailingBackslash(folder);
    std::vector<std::pair<std::wstring, DWORD>> entries;
    WIN32_FIND_DATAW found;
    const HANDLE find = ::FindFirstFileW((base + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (!EndsWithDot(found.cFileName)) entries.emplace_back(base + found.cFileName, found.dwFileAttributes);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);

    bool clean = true;
    for (const auto& [path, attributes] : entries) {
        bool kept = false;
        for (const std::wstring& k : keep) kept = kept || _wcsicmp(k.c_str(), path.c_str()) == 0;
        if (kept) continue;
        if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        bool removed;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(path.c_str())
                                                              : ::DeleteFileW(path.c_str());
        else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            removed = probes::DeleteFolderTree(path, true) >= 0;
        else
            removed = ::DeleteFileW(path.c_str());
        clean = clean && removed;
    }
    return clean;
}
