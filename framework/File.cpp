// Local files.
#include "framework/File.h"

bool CFile::OpenForWriting(const std::wstring& path) {
    Close();
    ::DeleteFileW(path.c_str());
    m_hFile = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
    m_nLastError = IsOpen() ? 0 : ::GetLastError();
    return IsOpen();
}

bool CFile::OpenForReading(const std::wstring& path) {
    Close();
    m_hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    m_nLastError = IsOpen() ? 0 : ::GetLastError();
    return IsOpen();
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
