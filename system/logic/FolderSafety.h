// Whether a folder's security lets only the user, SYSTEM and Administrators change what it holds,
// judged on its owner and its access-control entries. Pure: no Win32 types.
#pragma once

#include <cstdint>
#include <vector>

// Who an entry or the owner names, as far as the rule cares.
enum class Trustee { User, System, Administrators, Other };

// One access-control entry of the folder's DACL (inherited or not, inherit-only or not).
struct FolderAce {
    Trustee trustee = Trustee::Other;
    bool allow = true;  // false: an access-denied entry, which grants nothing
    uint32_t mask = 0;
};

// Rights that let a holder put a file or folder into the folder, change or remove one, or give
// itself such rights: add file / write data, add subfolder / append, write attributes and extended
// attributes, delete child, delete, write DAC, write owner, and the generic rights that map to them.
constexpr uint32_t kFolderChangeRights = 0x00000002u | 0x00000004u | 0x00000010u | 0x00000040u | 0x00000100u |
                                         0x00010000u | 0x00040000u | 0x00080000u | 0x02000000u | 0x10000000u |
                                         0x40000000u;

// True when the owner is the user, SYSTEM or Administrators and no entry allows another trustee
// any of the change rights. A folder without a DACL lets everybody do everything.
bool FolderIsPrivate(Trustee owner, bool hasDacl, const std::vector<FolderAce>& aces);
