// Ordering of the downloaded files, the hand-off text and the setup chosen for launch.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "update/handoff/logic/HandOffLogic.h"

namespace {

const std::wstring kDir = L"c:\\Windows\\Temp\\QVUpdate\\";

TEST(HandOff, OneFileNeedsNoListAndIsLaunched) {
    std::vector<std::wstring> paths = {kDir + L"TALVIX_FULL_240101.EXE"};
    SortInstallFiles(paths);
    EXPECT_FALSE(NeedsHandOffFile(paths.size()));
    EXPECT_FALSE(NeedsHandOffFile(0));
    EXPECT_TRUE(NeedsHandOffFile(2));
    EXPECT_EQ(ChooseSetupToLaunch(paths), L"C:\\WINDOWS\\TEMP\\QVUPDATE\\TALVIX_FULL_240101.EXE");
}

TEST(HandOff, FullBeforeAppOfOneVersionAndTheListByteForByte) {
    std::vector<std::wstring> paths = {kDir + L"TALVIX_APP_240101.EXE", kDir + L"TALVIX_FULL_240101.EXE"};
    SortInstallFiles(paths);
    EXPECT_EQ(paths[0], kDir + L"TALVIX_FULL_240101.EXE");
    EXPECT_TRUE(NeedsHandOffFile(paths.size()));
    EXPECT_EQ(BuildHandOffText(paths),
              L"[NEXT_FILE]\r\n"
              L"INDEX =0\r\n"
              L"0 = c:\\Windows\\Temp\\QVUpdate\\TALVIX_FULL_240101.EXE\r\n"
              L"1 = c:\\Windows\\Temp\\QVUpdate\\TALVIX_APP_240101.EXE\r\n");
    EXPECT_EQ(ChooseSetupToLaunch(paths), L"C:\\WINDOWS\\TEMP\\QVUPDATE\\TALVIX_FULL_240101.EXE");
}

TEST(HandOff, NewerVersionFirstWhateverItsKind) {
    std::vector<std::wstring> paths = {
        kDir + L"TALVIX_FULL_240101.EXE",
        kDir + L"TALVIX_OS_240301.EXE",
        kDir + L"TALVIX_APP_240201.EXE",
        kDir + L"TALVIX_FULL_240301.EXE",
    };
    SortInstallFiles(paths);
    const std::vector<std::wstring> expected = {
        kDir + L"TALVIX_FULL_240301.EXE",
        kDir + L"TALVIX_OS_240301.EXE",
        kDir + L"TALVIX_APP_240201.EXE",
        kDir + L"TALVIX_FULL_240101.EXE",
    };
    EXPECT_EQ(paths, expected);
}

TEST(HandOff, KindsRankedAndUnknownKindsLastThenByPath) {
    std::vector<std::wstring> paths = {
        kDir + L"X_ZZZ_240101.EXE",  kDir + L"X_OS_240101.EXE",  kDir + L"X_full_240101.EXE", kDir + L"X_FW_240101.EXE",
        kDir + L"X_DIAG_240101.EXE", kDir + L"X_APP_240101.EXE", kDir + L"X_FULL_240101.EXE", kDir + L"NOTES.TXT",
    };
    SortInstallFiles(paths);
    const std::vector<std::wstring> expected = {
        kDir + L"X_FULL_240101.EXE", kDir + L"X_APP_240101.EXE", kDir + L"X_DIAG_240101.EXE",
        kDir + L"X_FW_240101.EXE",   kDir + L"X_OS_240101.EXE",  kDir + L"X_ZZZ_240101.EXE",
        kDir + L"X_full_240101.EXE",  // kinds are case-sensitive
        kDir + L"NOTES.TXT",          // version 0
    };
    EXPECT_EQ(paths, expected);
}

TEST(HandOff, VersionAndKindOfAPath) {
    EXPECT_EQ(InstallFileVersion(kDir + L"TALVIX_FULL_240101.EXE"), 240101);
    EXPECT_EQ(InstallFileVersion(kDir + L"A_FULL_ +1234.EXE"), 1234);
    EXPECT_EQ(InstallFileVersion(kDir + L"A_FULL_x-1234.EXE"), 0);
    EXPECT_EQ(InstallFileVersion(kDir + L"A_FULL_-12x45.EXE"), -12);
    EXPECT_EQ(InstallFileVersion(L"1.EXE"), 1);  // fewer than six before the "."
    EXPECT_EQ(InstallFileVersion(L"NOEXT"), 0);
    EXPECT_EQ(InstallFileKindRank(kDir + L"T_FULL_1.EXE"), 0);
    EXPECT_EQ(InstallFileKindRank(kDir + L"T_OS"), 4);
    EXPECT_EQ(InstallFileKindRank(kDir + L"T.EXE"), 5);
    // The first "_" of the whole path counts, so a folder with "_" shifts the fields.
    EXPECT_EQ(InstallFileKindRank(L"c:\\my_FULL_dir\\T_APP_1.EXE"), 0);
}

TEST(HandOff, LaunchesTheFirstExeInUpperCase) {
    const std::vector<std::wstring> paths = {
        L"c:\\Windows\\Temp\\QVUpdate\\sub\\readme.txt",
        L"c:\\Windows\\Temp\\QVUpdate\\sub\\Setup_full_1.exe",
        kDir + L"OTHER.EXE",
    };
    EXPECT_EQ(ChooseSetupToLaunch(paths), L"C:\\WINDOWS\\TEMP\\QVUPDATE\\SUB\\SETUP_FULL_1.EXE");
    EXPECT_EQ(ChooseSetupToLaunch({kDir + L"A.TXT", kDir + L"EX"}), L"");
    EXPECT_EQ(ChooseSetupToLaunch({}), L"");
    EXPECT_EQ(BuildHandOffText({}), L"[NEXT_FILE]\r\nINDEX =0\r\n");
}

// The predicate must be a strict weak ordering for the sort to be defined.
TEST(HandOff, CompareIsAStrictWeakOrdering) {
    std::mt19937 random(20240101);
    const std::vector<std::wstring> kinds = {L"FULL", L"APP", L"DIAG", L"FW", L"OS", L"XX", L""};
    const std::vector<std::wstring> versions = {L"240101", L"240201", L"000000", L" -0012", L"abcdef", L"1"};
    auto pick = [&](const std::vector<std::wstring>& from) { return from[random() % from.size()]; };
    for (int round = 0; round < 40; ++round) {
        std::vector<std::wstring> paths;
        for (int i = 0; i < 12; ++i) {
            paths.push_back(kDir + (random() % 2 ? L"T" : L"U") + L"_" + pick(kinds) + L"_" + pick(versions) +
                            (random() % 3 ? L".EXE" : L""));
        }
        paths.push_back(paths.front());  // an equal pair
        for (const auto& a : paths) {
            EXPECT_FALSE(CompareInstallFiles(a, a));
            for (const auto& b : paths) {
                if (CompareInstallFiles(a, b)) {
                    EXPECT_FALSE(CompareInstallFiles(b, a));
                }
                for (const auto& c : paths) {
                    if (CompareInstallFiles(a, b) && CompareInstallFiles(b, c)) {
                        EXPECT_TRUE(CompareInstallFiles(a, c));
                    }
                    const bool abEqual = !CompareInstallFiles(a, b) && !CompareInstallFiles(b, a);
                    const bool bcEqual = !CompareInstallFiles(b, c) && !CompareInstallFiles(c, b);
                    if (abEqual && bcEqual) {
                        EXPECT_FALSE(CompareInstallFiles(a, c) || CompareInstallFiles(c, a));
                    }
                }
            }
        }
        // Any starting order sorts to the same sequence.
        std::vector<std::wstring> sorted = paths;
        SortInstallFiles(sorted);
        std::shuffle(paths.begin(), paths.end(), random);
        SortInstallFiles(paths);
        EXPECT_EQ(paths, sorted);
        EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), CompareInstallFiles));
    }
}

// The worker writes "folder\\NAME"; the hand-off lists it the way a folder scan names it.
TEST(HandOffLogic, HandOffPathIsTheWorkFolderAndTheWrittenName) {
    EXPECT_EQ(HandOffPathOf(L"c:\\Windows\\Temp\\QVUpdate\\", L"c:\\Windows\\Temp\\QVUpdate\\\\X_FULL_250101.EXE"),
              L"c:\\Windows\\Temp\\QVUpdate\\X_FULL_250101.EXE");
    EXPECT_EQ(HandOffPathOf(L"c:\\work", L"X.EXE"), L"c:\\work\\X.EXE");
}

}  // namespace
