// The rule that a folder only its user, SYSTEM and Administrators can change.
#include "system/logic/FolderSafety.h"

bool FolderIsPrivate(Trustee owner, bool hasDacl, const std::vector<FolderAce>& aces) {
    if (owner == Trustee::Other || !hasDacl) return false;
    for (const FolderAce& ace : aces) {
        // An entry that only passes to what is created inside still lets its trustee change that.
        if (ace.allow && ace.trustee == Trustee::Other && (ace.mask & kFolderChangeRights)) return false;
    }
    return true;
}
