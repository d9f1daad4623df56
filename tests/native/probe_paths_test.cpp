// Path and text rules of the environment probes.
#include <gtest/gtest.h>

#include "system/logic/ProbePaths.h"

using Steps = std::vector<std::wstring>;

TEST(FolderTreeSteps, CreatesEveryPrefixThenTheWholePath) {
    EXPECT_EQ(
        FolderTreeSteps(L"c:\\Windows\\Temp\\QVUpdate\\"),
        (Steps{L"c:", L"c:/Windows", L"c:/Windows/Temp", L"c:/Windows/Temp/QVUpdate", L"c:/Windows/Temp/QVUpdate/"}));
    EXPECT_EQ(FolderTreeSteps(L"c:\\a/b"), (Steps{L"c:", L"c:/a", L"c:/a/b"}));
    EXPECT_EQ(FolderTreeSteps(L"plain"), (Steps{L"plain"}));
}

TEST(ModulePath, FolderAndTitleSplitAtTheLastBackslash) {
    EXPECT_EQ(FolderOfPath(L"C:\\Apps\\KSF.QuorvelDownloader.exe"), L"C:\\Apps");
    EXPECT_EQ(TitleOfPath(L"C:\\Apps\\KSF.QuorvelDownloader.exe"), L"KSF.QuorvelDownloader.exe");
    EXPECT_EQ(FolderOfPath(L"QuorvelDownloader.exe"), L"");
    EXPECT_EQ(TitleOfPath(L"QuorvelDownloader.exe"), L"QuorvelDownloader.exe");
}

TEST(FileVersionKey, LanguageThenCodePageInLowerCaseHex) {
    EXPECT_EQ(FileVersionKey(0x04B00412u), L"\\StringFileInfo\\041204b0\\FileVersion");
    EXPECT_EQ(FileVersionKey(0), L"\\StringFileInfo\\00000000\\FileVersion");
}

TEST(BitnessText, ArchitectureDecidesFromWindows2000On) {
    EXPECT_EQ(BitnessText(6, 9), L"64 Bit");
    EXPECT_EQ(BitnessText(5, 0), L"32 Bit");
    EXPECT_EQ(BitnessText(4, 0), L"");
    EXPECT_EQ(BitnessText(10, 12), L"");  // ARM64: left unchanged
}

// Each build looks where the 32-bit scanner's installer and Windows put things, whichever build asks.
TEST(MachineLookups, BothBuildsLookInTheSamePlaces) {
    constexpr int kProgramFilesX86 = 0x2A, kProgramFiles = 0x26;
    const struct {
        unsigned programBits;
        const wchar_t* windows;
        int folder;
    } rows[] = {
        {32, L"64 Bit", kProgramFilesX86},  // the 32-bit build under WOW64
        {64, L"64 Bit", kProgramFilesX86},  // the 64-bit build, which WOW64 does not redirect
        {32, L"32 Bit", kProgramFiles},     // 32-bit Windows has one program files folder
        {32, L"", kProgramFiles},           // bitness unknown: the one a 32-bit Windows has
        {64, L"", kProgramFilesX86},        // a 64-bit program is on 64-bit Windows
    };
    for (const auto& row : rows) {
        const MachineLookups got = LookupsOf(row.programBits, row.windows);
        EXPECT_EQ(got.scannerFolderId, row.folder) << row.programBits;
        EXPECT_EQ(got.machineIdView, RegistryView::Native) << row.programBits;
    }
    EXPECT_EQ(ScannerExecutablePath(L"C:\\Program Files (x86)"),
              L"C:\\Program Files (x86)\\QuorvelSystems\\TALVIX\\TALVIX.exe");
}
