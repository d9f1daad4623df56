// The held folder: its components opened one below the other, its security read and, where the
// program may, made private, and its entries reached through it.
#include "system/HeldFolder.h"

#include "system/DiagnosticsLog.h"

#include <aclapi.h>
#include <sddl.h>

#include <iterator>
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

FolderAce AceOf(const ACE_HEADER* header, PSID user) {
    FolderAce ace;
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE: {
        auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        ace.trustee = TrusteeOf(const_cast<DWORD*>(&allowed->SidStart), user);
        ace.mask = allowed->Mask;
        break;
    }
    case ACCESS_DENIED_ACE_TYPE: ace.allow = false; break;
    default:  // callback and object entries may grant anything to anybody
        ace.mask = kFolderChangeRights;
        break;
    }
    return ace;
}

// The folder's owner and DACL, read through the handle; an unreadable one is another's, open to all.
FolderSecurity SecurityOf(HANDLE folder, PSID user) {
    FolderSecurity security;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                          nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return security;
    const LocalMemory hold(sd);
    security.owner = TrusteeOf(owner, user);
    security.hasDacl = dacl != nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header))) return FolderSecurity{};
        security.aces.push_back(AceOf(header, user));
    }
    return security;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool NamesLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Opens one component below `parent` (the root by its path when there is none) and says what it is.
// The path is asked as well as the handle: some systems open what a link points to even when told
// not to, but still name the link a link.
PathStep OpenStep(HANDLE parent, const std::wstring& name, const std::wstring& path, void* newSecurity, bool make,
                  CHandle& held) {
    CFile step;
    bool opened;
    if (!parent) {
        held = CHandle(::CreateFileW(path.c_str(),
                                     FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        opened = held && ::GetFileInformationByHandle(held.Get(), &info) &&
                 (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                 !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    } else {
        opened = step.OpenIn(parent, name, make ? FileOpen::FolderOrNew : FileOpen::Folder, newSecurity);
        if (opened) held = CHandle(step.Detach());
    }
    const bool pathNamesLink = NamesLink(::GetFileAttributesW(path.c_str()));
    if (opened && !pathNamesLink) return PathStep{true, false};
    held.Reset();
    // Not a plain folder: a link (as itself, or one this system can only follow), a file, or
    // nothing that can be opened.
    CFile entry;
    if (!parent || !entry.OpenIn(parent, name, FileOpen::Entry))
        return PathStep{false, pathNamesLink || entry.LastError() == ERROR_CANT_ACCESS_FILE};
    return PathStep{entry.IsFolder(), pathNamesLink || entry.IsReparsePoint()};
}

// Gives the held folder the private DACL through a second handle found to be the same folder.
bool MakePrivate(HANDLE parent, const std::wstring& name, HANDLE folder, PSECURITY_DESCRIPTOR sd) {
    CFile security;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    return security.OpenIn(parent, name, FileOpen::FolderSecurity) && SameFile(security.Handle(), folder) &&
           ::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) &&
           ::SetSecurityInfo(security.Handle(), SE_FILE_OBJECT,
                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                             nullptr) == ERROR_SUCCESS;
}

// Every entry of the folder but "." and "..", with its attributes as the listing gives them.
bool ListEntries(HANDLE folder, std::vector<std::pair<std::wstring, DWORD>>& entries) {
    std::vector<BYTE> buffer(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size())))
            return ::GetLastError() == ERROR_NO_MORE_FILES;
        kind = FileIdBothDirectoryInfo;
        for (size_t at = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") entries.emplace_back(name, info->FileAttributes);
            if (!info->NextEntryOffset) break;
            at += info->NextEntryOffset;
        }
    }
}

bool RemoveEntry(HANDLE folder, const std::wstring& name, DWORD listed, bool folders);

// Removes everything the folder holds but `keep`, entering no link; subfolders stay, emptied of
// their files, unless `folders`.
bool EmptyFolder(HANDLE folder, const std::vector<std::wstring>& keep, bool folders) {
    std::vector<std::pair<std::wstring, DWORD>> entries;
    if (!ListEntries(folder, entries)) return false;
    bool clean = true;
    for (const auto& [name, attributes] : entries) {
        bool kept = false;
        for (const std::wstring& k : keep) kept = kept || _wcsicmp(k.c_str(), name.c_str()) == 0;
        if (!kept) clean = RemoveEntry(folder, name, attributes, folders) && clean;
    }
    return clean;
}

bool RemoveEntry(HANDLE folder, const std::wstring& name, DWORD listed, bool folders) {
    if ((listed & FILE_ATTRIBUTE_DIRECTORY) && !(listed & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CFile inside;
        if (inside.OpenIn(folder, name, FileOpen::Folder) && !inside.IsReparsePoint()) {
            const bool emptied = EmptyFolder(inside.Handle(), {}, folders);
            if (!emptied || !folders) return emptied;
        }
    }
    CFile entry;
    if (!entry.OpenIn(folder, name, FileOpen::Entry))
        return entry.LastError() == ERROR_FILE_NOT_FOUND || entry.LastError() == ERROR_PATH_NOT_FOUND;
    return entry.Remove();
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

void LogRefusedFolder(const char* event, const CHeldFolder& folder, const FolderJudgement& judgement) {
    LogEvent(event, {{"refused", FolderVerdictName(judgement.verdict)},
                     {"folder", folder.Path()},
                     {"at", folder.StepPath(judgement.step)}});
}

std::wstring FullPathOf(const std::wstring& path) {
    if (path.empty()) return path;
    wchar_t full[MAX_PATH * 4] = {};
    const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
    return length && length < std::size(full) ? std::wstring(full, length) : path;
}

FolderJudgement CHeldFolder::Open(const std::wstring& path, FolderDemand demand) {
    Close();
    m_steps = FolderPathSteps(FullPathOf(path));
    if (m_steps.empty()) return {FolderVerdict::NotAFullPath, 0};

    const std::wstring userSid = CurrentUserSid();
    PSID user = nullptr;
    if (!userSid.empty()) ::ConvertStringSidToSidW(userSid.c_str(), &user);
    const LocalMemory userHold(user);
    const bool make = demand == FolderDemand::MadePrivate;
    const LocalMemory sd = make ? PrivateSecurityDescriptor(userSid) : nullptr;

    std::vector<PathStep> found;
    FolderSecurity security;
    for (size_t i = 0; i < m_steps.size(); ++i) {
        const bool last = i + 1 == m_steps.size();
        CHandle held;
        found.push_back(OpenStep(m_chain.empty() ? nullptr : m_chain.back().Get(), m_steps[i], StepPath(i),
                                 last ? sd.get() : nullptr, make, held));
        if (!held) break;
        m_chain.push_back(std::move(held));
    }
    if (m_chain.size() == m_steps.size()) security = SecurityOf(Handle(), user);
    FolderJudgement judgement = JudgeHeldFolder(found, security, demand);
    if (judgement.verdict == FolderVerdict::MakePrivate && m_chain.size() > 1 && sd &&
        MakePrivate(m_chain[m_chain.size() - 2].Get(), m_steps.back(), Handle(), sd.get()))
        judgement = JudgeHeldFolder(found, SecurityOf(Handle(), user), FolderDemand::PrivateAsFound);
    if (judgement.verdict == FolderVerdict::MakePrivate) judgement.verdict = FolderVerdict::OthersMayChange;
    m_strPath = StepPath(m_steps.size() - 1);
    if (judgement.verdict != FolderVerdict::Held) m_chain.clear();
    return judgement;
}

void CHeldFolder::Close() {
    m_chain.clear();
    m_steps.clear();
    m_strPath.clear();
}

std::wstring CHeldFolder::StepPath(size_t step) const {
    std::wstring path;
    for (size_t i = 0; i <= step && i < m_steps.size(); ++i) {
        if (!path.empty() && path.back() != L'\\') path += L'\\';
        path += m_steps[i];
    }
    // A root keeps its separator; a folder below it has none.
    if (step > 0 && !path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

bool CHeldFolder::Open(const std::wstring& name, FileOpen how, CFile& file) const {
    file.Close();
    return IsOpen() && IsPlainName(name) && file.OpenIn(Handle(), name, how);
}

bool CHeldFolder::Create(const std::wstring& name, CFile& file) const {
    CFile entry;
    // A folder at the name is not removed to make room: the file cannot be made there.
    if (Open(name, FileOpen::Entry, entry) && entry.IsFolder() && !entry.IsReparsePoint()) return false;
    entry.Close();
    return Remove(name) && Open(name, FileOpen::CreateNew, file);
}

bool CHeldFolder::Remove(const std::wstring& name) const {
    if (!IsOpen() || !IsPlainName(name)) return false;
    CFile entry;
    if (!entry.OpenIn(Handle(), name, FileOpen::Entry))
        return entry.LastError() == ERROR_FILE_NOT_FOUND || entry.LastError() == ERROR_PATH_NOT_FOUND;
    const DWORD attributes =
        (entry.IsFolder() ? FILE_ATTRIBUTE_DIRECTORY : 0) | (entry.IsReparsePoint() ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    entry.Close();
    return RemoveEntry(Handle(), name, attributes, true);
}

bool CHeldFolder::RemoveAllBut(const std::vector<std::wstring>& keep) const {
    return IsOpen() && EmptyFolder(Handle(), keep, true);
}

bool CHeldFolder::RemoveFiles() const { return IsOpen() && EmptyFolder(Handle(), {}, false); }
