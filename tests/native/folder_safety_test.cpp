// The rule that the work folder lets only the user, SYSTEM and Administrators change what it holds.
#include <gtest/gtest.h>

#include "system/logic/FolderSafety.h"

namespace {

constexpr uint32_t kFull = 0x001F01FF, kRead = 0x001200A9;

TEST(FolderSafety, OnlyTheUserSystemAndAdministratorsMayChangeTheFolder) {
    const FolderAce user{Trustee::User, true, kFull}, system{Trustee::System, true, kFull},
        admins{Trustee::Administrators, true, kFull};
    // The folder as the program makes it, and as Wine reads it back (Everyone may read).
    EXPECT_TRUE(FolderIsPrivate(Trustee::User, true, {system, admins, user}));
    EXPECT_TRUE(FolderIsPrivate(Trustee::Administrators, true, {user, system, {Trustee::Other, true, kRead}}));
    // A folder made in c:\Windows\Temp inherits add-file and add-subfolder for BUILTIN\Users, and
    // full control for CREATOR OWNER on what is created inside.
    EXPECT_FALSE(FolderIsPrivate(Trustee::User, true, {system, admins, {Trustee::Other, true, 0x00000006}}));
    EXPECT_FALSE(FolderIsPrivate(Trustee::User, true, {system, admins, user, {Trustee::Other, true, 0x10000000}}));
    // Everyone may write, as Wine shows mode 777.
    EXPECT_FALSE(FolderIsPrivate(Trustee::User, true, {user, system, {Trustee::Other, true, 0x001301FF}}));
    // Each change right alone is enough; a denying entry grants nothing.
    for (uint32_t right : {0x2u, 0x4u, 0x40u, 0x10000u, 0x40000u, 0x80000u, 0x40000000u})
        EXPECT_FALSE(FolderIsPrivate(Trustee::User, true, {user, {Trustee::Other, true, kRead | right}})) << right;
    EXPECT_TRUE(FolderIsPrivate(Trustee::User, true, {user, {Trustee::Other, false, kFull}}));
    // Another account's folder, and one without a DACL, are never private.
    EXPECT_FALSE(FolderIsPrivate(Trustee::Other, true, {user}));
    EXPECT_FALSE(FolderIsPrivate(Trustee::System, false, {}));
}

}  // namespace
