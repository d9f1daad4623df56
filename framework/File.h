// A local file: created anew for writing, opened for reading while it is held against change, or
// opened for appending; closed with the object.
#pragma once

#include "framework/Win32.h"

#include <string>

// How CFile::OpenIn opens an entry of a held folder. None follows a link or junction at the name.
enum class FileOpen {
    Read,            // an existing plain file, held against others' writes, renames and deletes
    CreateNew,       // a new file for writing (and deleting); fails when the name is taken
    Append,          // a plain file for appending, made if missing; others may do anything meanwhile
    AppendMovable,   // as Append, and it may be renamed through the handle
    Resume,          // an existing plain file for reading and writing, held as Read holds
    Entry,           // whatever stands at the name (a link as itself), to be removed or renamed
    Folder,          // an existing folder, held against renames and deletes; its security readable
    FolderOrNew,     // as Folder, made (with the given security) when missing
    FolderSecurity,  // a folder (or a link as itself) whose DACL is to be set
};

class CFile {
public:
    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens an existing file for reading and holds it: until it is closed nobody can write, rename
    // or delete it. A link at the path is opened as itself, not followed.
    bool OpenForReading(const std::wstring& path);
    // Opens a folder and holds it: until it is closed nobody can rename or delete it, so its path
    // keeps naming it. Fails for anything but a plain folder: a link or junction there is neither
    // followed nor held.
    bool OpenFolder(const std::wstring& path);
    // Opens the entry `name` (one name, no separator) of the folder `folder` is open on, looked up
    // in that folder itself rather than by path. A Read, Resume or Append file must be a plain
    // file of one name (no link, junction or second hard link); a Folder a plain folder. The
    // security descriptor, if any, is that of a file or folder made by this call.
    bool OpenIn(HANDLE folder, const std::wstring& name, FileOpen how, void* security = nullptr);
    // Whether the open entry is a link, junction or other reparse point, or a folder.
    bool IsReparsePoint() const;
    bool IsFolder() const;
    // Removes the entry the handle is open on (opened as Entry, CreateNew, Resume or
    // AppendMovable); a link goes as itself. A read-only file loses that mark first.
    bool Remove();
    // Renames the entry to `name` in the folder `to` is open on, replacing an entry of that name.
    bool MoveTo(HANDLE to, const std::wstring& name);
    // Opens a second handle for reading to the file `held` is open on, with a file position of its
    // own; like `held`, it lets nobody else write, rename or delete the file.
    bool Reopen(const CFile& held);
    HANDLE Handle() const { return m_hFile; }
    // Gives up the handle to the caller, who closes it.
    HANDLE Detach() {
        const HANDLE handle = m_hFile;
        m_hFile = INVALID_HANDLE_VALUE;
        return handle;
    }
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
    // True when a link, junction or other reparse point stands at the path; it is not followed.
    static bool IsLink(const std::wstring& path);

private:
    // The entry just opened is kept open only when it is what `how` asks for.
    bool KeepIfPlain(FileOpen how);

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    DWORD m_nLastError = 0;
};
