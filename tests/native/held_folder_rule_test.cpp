// The rule for a folder the program holds: the components of its path, what was found at each, and
// the folder's security, against what its use demands.
#include <gtest/gtest.h>

#include "system/logic/HeldFolderRule.h"

namespace {

using Steps = std::vector<std::wstring>;

TEST(HeldFolderRule, FullPathsSplitIntoComponentsAndAnythingElseIntoNothing) {
    EXPECT_EQ(FolderPathSteps(L"C:\\Logs\\qv"), (Steps{L"C:\\", L"Logs", L"qv"}));
    EXPECT_EQ(FolderPathSteps(L"c:/Windows/Temp/QVUpdate/"), (Steps{L"c:\\", L"Windows", L"Temp", L"QVUpdate"}));
    EXPECT_EQ(FolderPathSteps(L"C:\\"), (Steps{L"C:\\"}));
    EXPECT_EQ(FolderPathSteps(L"\\\\server\\share\\logs"), (Steps{L"\\\\server\\share\\", L"logs"}));
    for (const wchar_t* refused :
         {L"", L"Logs\\qv", L"\\Logs", L"C:Logs", L"C:\\Logs\\..\\Windows", L"C:\\.\\x", L"C:\\Logs\\\\qv",
          L"C:\\Logs\\qv.log:stream", L"\\\\?\\C:\\Logs", L"\\\\.\\C:\\Logs", L"\\\\server", L"\\\\server\\"})
        EXPECT_EQ(FolderPathSteps(refused), Steps{}) << refused;
    EXPECT_TRUE(IsPlainName(L"QuorvelDownloader.log"));
    for (const wchar_t* name : {L"", L".", L"..", L"a\\b", L"a/b", L"log:stream"}) EXPECT_FALSE(IsPlainName(name));
}

TEST(HeldFolderRule, EveryComponentIsAPlainFolderAndTheLastOneAsTheUseDemands) {
    constexpr uint32_t kFull = 0x001F01FF, kRead = 0x001200A9, kEveryoneWrites = 0x001301FF;
    const FolderSecurity ours{Trustee::User, true, {{Trustee::User, true, kFull}, {Trustee::Other, true, kRead}}};
    const FolderSecurity openToAll{Trustee::User, true, {{Trustee::Other, true, kEveryoneWrites}}};
    const FolderSecurity adminsOpenToAll{Trustee::Administrators, true, {{Trustee::Other, true, 0x6}}};
    const FolderSecurity anothers{Trustee::Other, true, {{Trustee::User, true, kFull}}};
    const PathStep plain{true, false}, link{true, true}, fileLink{false, true}, file{false, false};
    const std::vector<PathStep> sound{plain, plain, plain};
    struct Row {
        const char* what;
        std::vector<PathStep> steps;
        FolderSecurity security;
        FolderDemand demand;
        FolderVerdict verdict;
        size_t step;
    } rows[] = {
        {"the work folder as made", sound, ours, FolderDemand::MadePrivate, FolderVerdict::Held, 2},
        {"a junction in place of C:\\Logs",
         {plain, link, plain},
         ours,
         FolderDemand::AnyWriters,
         FolderVerdict::LinkInPath,
         1},
        {"a link in place of the folder",
         {plain, plain, link},
         ours,
         FolderDemand::MadePrivate,
         FolderVerdict::LinkInPath,
         2},
        {"a link to a file on the way",
         {plain, fileLink, plain},
         ours,
         FolderDemand::MadePrivate,
         FolderVerdict::LinkInPath,
         1},
        {"the first link is the one named",
         {plain, link, link},
         ours,
         FolderDemand::AnyWriters,
         FolderVerdict::LinkInPath,
         1},
        {"a file on the way", {plain, file, plain}, ours, FolderDemand::AnyWriters, FolderVerdict::NotAFolder, 1},
        {"ours but open to all is made private", sound, openToAll, FolderDemand::MadePrivate,
         FolderVerdict::MakePrivate, 2},
        {"open to all, found by a service account", sound, adminsOpenToAll, FolderDemand::PrivateAsFound,
         FolderVerdict::OthersMayChange, 2},
        {"open to all, the user's own /log choice", sound, adminsOpenToAll, FolderDemand::AnyWriters,
         FolderVerdict::Held, 2},
        {"another account's folder is never changed", sound, anothers, FolderDemand::MadePrivate,
         FolderVerdict::OtherOwner, 2},
        {"another account's folder as found", sound, anothers, FolderDemand::PrivateAsFound, FolderVerdict::OtherOwner,
         2},
        {"no DACL",
         sound,
         {Trustee::System, false, {}},
         FolderDemand::PrivateAsFound,
         FolderVerdict::OthersMayChange,
         2},
        {"nothing to open", {}, ours, FolderDemand::AnyWriters, FolderVerdict::NotAFullPath, 0},
    };
    for (const Row& row : rows) {
        const FolderJudgement judgement = JudgeHeldFolder(row.steps, row.security, row.demand);
        EXPECT_EQ(judgement.verdict, row.verdict) << row.what;
        EXPECT_EQ(judgement.step, row.step) << row.what;
    }
}

}  // namespace
