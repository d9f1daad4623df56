// Local files.
#include "framework/File.h"

bool CFile::OpenForWriting(const std::wstring& path) {
    Close();
    ::DeleteFileW(path.c_str());
    m_hFile = ::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    m_nLastError = IsOpen() ? 0 : ::GetLastError();
    return IsOpen();
}

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

bool CFile::OpenForAppending(const std::wstring& path) {
    Close();
    m_hFile = ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return KeepIfPlainFile(path);
}

bool CFile::OpenForResuming(const std::wstring& path) {
    Close();
    m_hFile = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return KeepIfPlainFile(path);
}

bool CFile::KeepIfPlainFile(const std::wstring& path) {
    m_nLastError = IsOpen() ? 0 : ::GetLastError();
    if (!IsOpen()) return false;
    // A hard link is a second name of another file: writing to it would write into that file.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(m_hFile, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        info.nNumberOfLinks != 1 || IsLink(path)) {
        Close();
        m_nLastError = ERROR_CANT_ACCESS_FILE;
        return false;
    }
    return true;
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
