// A folder checked once and held for as long as the object lives: every component of its path
// opened in turn from the drive down, each found a plain folder (no link, junction or other
// reparse point) and held so that nobody can rename or delete it, and the folder's security as the
// use demands (system/logic/HeldFolderRule.h). Its files are reached by their name in the held
// folder, never by a path that the system would resolve again.
#pragma once

#include "framework/File.h"
#include "framework/Handle.h"
#include "system/logic/HeldFolderRule.h"

#include <string>
#include <vector>

class CHeldFolder {
public:
    CHeldFolder() = default;
    CHeldFolder(const CHeldFolder&) = delete;
    CHeldFolder& operator=(const CHeldFolder&) = delete;

    // Opens and checks the folder at `path`. With MadePrivate, missing components are made (the
    // folder itself with a DACL of its own: full control for the user, SYSTEM and Administrators,
    // nothing inherited), and the user's own folder that others may change is given that DACL.
    // Held only when the verdict is Held; otherwise nothing is held and nothing may be done in it.
    FolderJudgement Open(const std::wstring& path, FolderDemand demand);
    void Close();
    bool IsOpen() const { return !m_chain.empty(); }
    // The folder's full path, without a trailing separator; and the path of the component a
    // verdict names.
    const std::wstring& Path() const { return m_strPath; }
    std::wstring StepPath(size_t step) const;
    HANDLE Handle() const { return m_chain.empty() ? nullptr : m_chain.back().Get(); }

    // Opens the file `name` of the folder as CFile::OpenIn does.
    bool Open(const std::wstring& name, FileOpen how, CFile& file) const;
    // Creates `name` anew for writing: a file or link standing there (a link as itself) is removed
    // first; a folder there is not, and the file is not made.
    bool Create(const std::wstring& name, CFile& file) const;
    // Removes the entry `name` (a link as itself, a folder with what it holds); true when nothing
    // stands there any more.
    bool Remove(const std::wstring& name) const;
    // Removes every entry but the names in `keep` (any case); true when nothing else is left.
    bool RemoveAllBut(const std::vector<std::wstring>& keep) const;
    // Removes every file, those in subfolders too, and leaves the subfolders; true when it could.
    bool RemoveFiles() const;

private:
    std::vector<CHandle> m_chain;  // the components from the root, the folder last
    std::vector<std::wstring> m_steps;
    std::wstring m_strPath;
};

// Logs `event` for a folder that failed its check: why, the folder and the component concerned.
void LogRefusedFolder(const char* event, const CHeldFolder& folder, const FolderJudgement& judgement);

// The path as the system completes it (the current folder's drive and folder, "." and ".."
// resolved), so that what it names does not depend on the current folder later; unchanged when
// the system cannot complete it.
std::wstring FullPathOf(const std::wstring& path);

// The SID of the account the program runs as, in its string form ("S-1-5-21-..."); empty when
// the platform cannot say.
std::wstring CurrentUserSid();
