// A folder that only the user, SYSTEM and Administrators can write: made with a protected DACL,
// or an existing one checked and, where the program may, made so.
#pragma once

#include "framework/File.h"

#include <string>
#include <vector>

// Creates the folder (and any missing parents) with a DACL of its own that grants full control to
// the user, SYSTEM and Administrators and inherits nothing, or takes the existing folder when its
// owner is one of them, giving it that DACL when another account may change what it holds. Holds
// it in `held` on success. False, with nothing held, for a link in its place, a folder of another
// owner, or one whose DACL cannot be made safe: such a folder must not be emptied, written or
// launched from.
bool OpenPrivateFolder(const std::wstring& path, CFile& held);

// The SID of the account the program runs as, in its string form ("S-1-5-21-..."); empty when
// the platform cannot say.
std::wstring CurrentUserSid();

// Removes everything in the folder but the files named in `keep` (full paths, any case): files,
// read-only ones included, and whole subfolders; a link is removed as itself, never entered. True
// when nothing else is left.
bool RemoveAllBut(const std::wstring& folder, const std::vector<std::wstring>& keep);
