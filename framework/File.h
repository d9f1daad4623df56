// A local file: created anew for writing, opened for reading while it is held against change, or
// opened for appending; closed with the object.
#pragma once

#include "framework/Win32.h"

#include <string>

class CFile {
public:
    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Creates the file for writing in place of an existing one. Whatever stands at the path is
    // removed first and the file is made new, so the bytes never go through a link left there into
    // another file; fails when the path cannot be freed.
    bool OpenForWriting(const std::wstring& path);
    // Opens an existing file for reading and holds it: until it is closed nobody can write, rename
    // or delete it. A link at the path is opened as itself, not followed.
    bool OpenForReading(const std::wstring& path);
    // Opens the file for appending, made if missing: every write lands at its end, whoever else
    // appends to it. Others may read, write, rename or delete it meanwhile. Fails for anything but a
    // plain file of one name: a link or junction there is neither followed nor written through.
    bool OpenForAppending(const std::wstring& path);
    // Opens an existing plain file of one name for reading and writing, held against others' writes,
    // renames and deletes, at its first byte. A link or junction there is neither followed nor
    // opened, nor is a second name of another file.
    bool OpenForResuming(const std::wstring& path);
    // Opens a folder and holds it: until it is closed nobody can rename or delete it, so its path
    // keeps naming it. Fails for anything but a plain folder: a link or junction there is neither
    // followed nor held.
    bool OpenFolder(const std::wstring& path);
    // Opens a second handle for reading to the file `held` is open on, with a file position of its
    // own; like `held`, it lets nobody else write, rename or delete the file.
    bool Reopen(const CFile& held);
    HANDLE Handle() const { return m_hFile; }
    // Writes every byte or reports failure.
    bool Write(const void* data, DWORD size);
    // A file open for writing: empties it and writes from its start again.
    bool Truncate();
    // A file open for writing: whether the system removes it when its last handle closes, also
    // when the process ends without closing it.
    bool SetDeleteOnClose(bool remove);
    // Closes the file; false when the system reports a failure (data may not have reached disk).
    bool Close();
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    DWORD LastError() const { return m_nLastError; }
    static bool Remove(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }
    // True when a link, junction or other reparse point stands at the path; it is not followed.
    static bool IsLink(const std::wstring& path);

private:
    // The file just opened at `path` is kept open only when it is a plain file of one name.
    bool KeepIfPlainFile(const std::wstring& path);

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    DWORD m_nLastError = 0;
};
