// Local files.
#include "framework/File.h"

#include <winternl.h>

#include <algorithm>
#include <vector>

bool CFile::Truncate() {
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(m_hFile, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_hFile);
}

bool CFile::SetDeleteOnClose(bool remove) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return ::SetFileInformationByHandle(m_hFile, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool CFile::OpenForReading(const std::wstring& path) {
    Close();
    m_hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    m_nLastError = IsOpen() ? 0 : ::GetLastError();
    return IsOpen();
}

namespace {

struct OpenWay {
    ACCESS_MASK access;
    ULONG share;
    ULONG disposition;
    ULONG options;
};

OpenWay WayOf(FileOpen how) {
    const ULONG all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const ULONG file = FILE_NON_DIRECTORY_FILE, folder = FILE_DIRECTORY_FILE;
    const ACCESS_MASK list = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
    switch (how) {
    case FileOpen::Read: return {GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, file | FILE_SEQUENTIAL_ONLY};
    case FileOpen::CreateNew: return {GENERIC_WRITE | DELETE, FILE_SHARE_READ, FILE_CREATE, file};
    case FileOpen::Append: return {FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, all, FILE_OPEN_IF, file};
    case FileOpen::AppendMovable: return {FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | DELETE, all, FILE_OPEN_IF, file};
    case FileOpen::Resume: return {GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, FILE_OPEN, file};
    case FileOpen::Entry: return {DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, all, FILE_OPEN, 0};
    case FileOpen::Folder: return {list, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, folder};
    case FileOpen::FolderOrNew: return {list, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF, folder};
    case FileOpen::FolderSecurity: return {READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES, all, FILE_OPEN, folder};
    }
    return {0, 0, FILE_OPEN, 0};
}

// The path the system resolves the handle to, links and junctions followed; empty when it cannot say.
std::wstring FinalPathOf(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (int tries = 0; tries < 2; ++tries) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), 0);
        if (length == 0) return std::wstring();
        if (length < path.size()) return path.substr(0, length);
        path.resize(length + 1);
    }
    return std::wstring();
}

// Whether the opened entry is `name` in the folder itself. Where the system opened what a link
// points to although told not to, the entry resolves elsewhere.
bool ResolvesInto(HANDLE entry, HANDLE folder, const std::wstring& name) {
    std::wstring expected = FinalPathOf(folder);
    if (expected.empty()) return false;
    if (expected.back() != L'\\') expected += L'\\';
    expected += name;
    return ::CompareStringOrdinal(FinalPathOf(entry).c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool CFile::OpenIn(HANDLE folder, const std::wstring& name, FileOpen how, void* security) {
    Close();
    m_nLastError = ERROR_INVALID_NAME;
    const size_t bytes = name.size() * sizeof(wchar_t);
    if (!folder || folder == INVALID_HANDLE_VALUE || name.empty() || bytes > 0xFFFE ||
        name.find_first_of(L"\\/:") != std::wstring::npos)
        return false;
    UNICODE_STRING text{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes), const_cast<wchar_t*>(name.c_str())};
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, security);
    const OpenWay way = WayOf(how);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const NTSTATUS status = ::NtCreateFile(
        &opened, way.access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, way.share, way.disposition,
        way.options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        m_nLastError = ::RtlNtStatusToDosError(status);
        return false;
    }
    m_hFile = opened;
    if (!ResolvesInto(m_hFile, folder, name)) {
        Close();
        m_nLastError = ERROR_CANT_ACCESS_FILE;
        return false;
    }
    return KeepIfPlain(how);
}

bool CFile::KeepIfPlain(FileOpen how) {
    m_nLastError = 0;
    if (how == FileOpen::Entry || how == FileOpen::FolderSecurity) return true;
    const bool folder = how == FileOpen::Folder || how == FileOpen::FolderOrNew;
    // A hard link is a second name of another file: writing to it would write into that file.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(m_hFile, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        folder != ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) || (!folder && info.nNumberOfLinks != 1)) {
        Close();
        m_nLastError = ERROR_CANT_ACCESS_FILE;
        return false;
    }
    return true;
}

bool CFile::IsReparsePoint() const {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return !::GetFileInformationByHandleEx(m_hFile, FileAttributeTagInfo, &tag, sizeof tag) ||
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool CFile::IsFolder() const {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(m_hFile, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CFile::Remove() {
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(m_hFile, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(m_hFile, FileBasicInfo, &basic, sizeof basic);
    }
    const bool removed = SetDeleteOnClose(true);
    m_nLastError = removed ? 0 : ::GetLastError();
    return Close() && removed;
}

bool CFile::MoveTo(HANDLE to, const std::wstring& name) {
    // Straight to the system: the Win32 call makes the name a full path, which some systems then
    // look up apart from the folder it names.
    struct RenameTo {
        BOOLEAN replaceIfExists;
        HANDLE rootDirectory;
        ULONG fileNameLength;
        WCHAR fileName[1];
    };
    std::vector<BYTE> buffer(sizeof(RenameTo) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<RenameTo*>(buffer.data());
    rename->replaceIfExists = TRUE;
    rename->rootDirectory = to;
    rename->fileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->fileName);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ::NtSetInformationFile(m_hFile, &io, rename, static_cast<ULONG>(buffer.size()),
                                                   static_cast<FILE_INFORMATION_CLASS>(10));  // FileRenameInformation
    m_nLastError = status < 0 ? ::RtlNtStatusToDosError(status) : 0;
    return status >= 0;
}

bool CFile::IsLink(const std::wstring& path) {
    // The path and a handle are both asked, as some systems open what a link points to even when
    // told not to, but still name the link a link.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    const HANDLE entry =
        ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (entry == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool link =
        ::GetFileInformationByHandle(entry, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    ::CloseHandle(entry);
    return link;
}

bool CFile::OpenFolder(const std::wstring& path) {
    Close();
    // Without its trailing separators, so that a link is named as itself, not entered.
    std::wstring folder = path;
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/') && folder[folder.size() - 2] != L':')
        folder.pop_back();
    m_hFile =
        ::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    m_nLastError = IsOpen() ? 0 : ::GetLastError();
    if (!IsOpen()) return false;
    // Held, the path cannot be pointed elsewhere, so both the handle and the path are asked: some
    // systems open what a link points to even when told not to, but still name the link a link.
    const auto plain = [](DWORD attributes) {
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
               !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    };
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(m_hFile, &info) || !plain(info.dwFileAttributes) ||
        !plain(::GetFileAttributesW(folder.c_str()))) {
        Close();
        m_nLastError = ERROR_CANT_ACCESS_FILE;
        return false;
    }
    return true;
}

bool CFile::Reopen(const CFile& held) {
    Close();
    m_hFile = ::ReOpenFile(held.Handle(), GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN);
    m_nLastError = IsOpen() ? 0 : ::GetLastError();
    return IsOpen();
}

bool CFile::Write(const void* data, DWORD size) {
    if (!IsOpen()) return false;
    const BYTE* p = static_cast<const BYTE*>(data);
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(m_hFile, p, size, &written, nullptr) || written == 0) {
            m_nLastError = ::GetLastError();
            return false;
        }
        p += written;
        size -= written;
    }
    return true;
}

bool CFile::Close() {
    if (!IsOpen()) return true;
    const bool ok = ::CloseHandle(m_hFile) != FALSE;
    m_hFile = INVALID_HANDLE_VALUE;
    return ok;
}
