// Whether a folder may be held and used: every component of its path a plain folder (no link,
// junction or other reparse point anywhere from the drive down), and its security as the use
// demands. Pure: no Win32 types.
#pragma once

#include "system/logic/FolderSafety.h"

#include <string>
#include <vector>

// The components of a full path from its root: "C:\", "Logs", "qv" for "C:\Logs\qv"; the root of
// a share is "\\server\share\". Empty for a path that is not full or names "." or "..", a device
// ("\\?\", "\\.\") or a stream (a ':' past the drive).
std::vector<std::wstring> FolderPathSteps(const std::wstring& path);
// A name that stays inside the folder it is looked up in: no separator, stream, "." or "..".
bool IsPlainName(const std::wstring& name);

// What was found at one component when it was opened without following links.
struct PathStep {
    bool folder = true;
    bool reparsePoint = false;
};

// What the folder's security must be.
enum class FolderDemand {
    MadePrivate,     // only the user, SYSTEM and Administrators may change it, made so when it is theirs
    PrivateAsFound,  // as MadePrivate, but never changed: another's folder only refused
    AnyWriters,      // the user's own choice of folder (/log FILE): who else may write is the user's call
};

enum class FolderVerdict {
    Held,
    NotAFullPath,     // nothing to open
    LinkInPath,       // a reparse point at `step`
    NotAFolder,       // a file at `step`
    OtherOwner,       // owned by an account that is not the user, SYSTEM or Administrators
    OthersMayChange,  // another account may add, change or delete what it holds
    MakePrivate,      // ours but open to others: give it the private DACL, then judge it again
};

struct FolderJudgement {
    FolderVerdict verdict = FolderVerdict::Held;
    size_t step = 0;  // the component the verdict is about
};

// The security as read from the folder itself (the last component).
struct FolderSecurity {
    Trustee owner = Trustee::Other;
    bool hasDacl = false;
    std::vector<FolderAce> aces;
};

// Judges the components in order from the root, then the last one's security; `security` is
// read only when every component is a plain folder. Never Held for an empty list.
FolderJudgement JudgeHeldFolder(const std::vector<PathStep>& steps, const FolderSecurity& security,
                                FolderDemand demand);
// A word for the log: "link-in-path", "other-owner", ...
const char* FolderVerdictName(FolderVerdict verdict);
