// A local file opened for writing: created or truncated, closed with the object.
#pragma once

#include "framework/Win32.h"

#include <string>

class CFile {
public:
    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Creates the file (replacing an existing one) for writing, positioned at its start.
    bool OpenForWriting(const std::wstring& path);
    // Writes every byte or reports failure.
    bool Write(const void* data, DWORD size);
    // Closes the file; false when the system reports a failure (data may not have reached disk).
    bool Close();
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    DWORD LastError() const { return m_nLastError; }
    static bool Remove(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    DWORD m_nLastError = 0;
};
