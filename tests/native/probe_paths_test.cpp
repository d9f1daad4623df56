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

TEST(ScannerLocation, SixtyFourBitLooksUnderThe32BitProgramFiles) {
    EXPECT_EQ(ScannerProgramFilesFolderId(L"64 Bit"), 0x2A);
    EXPECT_EQ(ScannerProgramFilesFolderId(L"32 Bit"), 0x26);
    EXPECT_EQ(ScannerProgramFilesFolderId(L""), 0x26);
    EXPECT_EQ(ScannerExecutablePath(L"C:\\Program Files (x86)"),
              L"C:\\Program Files (x86)\\QuorvelSystems\\TALVIX\\TALVIX.exe");
}
