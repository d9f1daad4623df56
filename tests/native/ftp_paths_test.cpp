// The FTP session's path rules, its file record and its scripted stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

#include "support/ScriptedFtpSession.h"
#include "update/logic/FtpPaths.h"
#include "update/logic/FtpTypes.h"

TEST(FtpSearchPath, WrapsTheFolderInBackslashesAndBuildsTheMask) {
    EXPECT_EQ(BuildFtpSearchPath(L"Software", L"*"), L"\\Software\\*.*");
    EXPECT_EQ(BuildFtpSearchPath(L"Software\\", L"exe"), L"\\Software\\*.exe");
    EXPECT_EQ(BuildFtpSearchPath(L"OEM\\KESTRA", L".exe"), L"\\OEM\\KESTRA\\*.exe");
    EXPECT_EQ(BuildFtpSearchPath(L"", L"*"), L"*.*");
}

TEST(FtpSearchPath, FolderWithLeadingBackslashGetsASecondOne) {
    EXPECT_EQ(BuildFtpSearchPath(L"\\OEM\\KESTRA\\Factory\\Software", L"*"),
              L"\\\\OEM\\KESTRA\\Factory\\Software\\*.*");
}

TEST(FtpOpenPath, AddsALeadingBackslashOnlyWhenMissing) {
    EXPECT_EQ(BuildFtpOpenPath(L"Software\\a.exe"), L"\\Software\\a.exe");
    EXPECT_EQ(BuildFtpOpenPath(L"\\Software\\a.exe"), L"\\Software\\a.exe");
    EXPECT_EQ(BuildFtpOpenPath(L"/Software/a.exe"), L"\\/Software/a.exe");
}

TEST(FtpServerPath, UsesSlashesAndCollapsesRunsOfSeparators) {
    EXPECT_EQ(ToFtpServerPath(L"\\\\OEM\\KESTRA\\Factory\\Software\\*.*"), L"/OEM/KESTRA/Factory/Software/*.*");
    EXPECT_EQ(ToFtpServerPath(L"\\Software\\/\\a b.exe"), L"/Software/a b.exe");
    EXPECT_EQ(ToFtpServerPath(L"*.*"), L"*.*");
    EXPECT_EQ(ToFtpServerPath(L"\\"), L"/");
}

TEST(FtpFileInfo, DefaultsAndByteCopy) {
    static_assert(std::is_trivially_copyable<FTP_FILE_INFO>::value, "copied byte for byte");
    FTP_FILE_INFO info;
    EXPECT_EQ(info.dwFileSize, -1);
    EXPECT_EQ(info.Name(), L"");
    info.SetName(L"TALVIX_250101.exe");
    info.dwFileSize = 12031;
    FTP_FILE_INFO copy;
    std::memcpy(&copy, &info, sizeof info);
    EXPECT_EQ(copy.Name(), L"TALVIX_250101.exe");
    EXPECT_EQ(copy.dwFileSize, 12031);
}

TEST(FtpFileInfo, LongNamesAreCutAt259AndShorterOnesClearTheRest) {
    FTP_FILE_INFO info;
    info.SetName(std::wstring(300, L'x'));
    EXPECT_EQ(info.Name(), std::wstring(259, L'x'));
    EXPECT_EQ(info.szFileName[259], L'\0');
    info.SetName(L"ab");
    EXPECT_EQ(info.Name(), L"ab");
    EXPECT_EQ(info.szFileName[3], L'\0');
}

TEST(FtpFileInfo, ListedSizesFromTwoGiBOnAreRefusedNotWrapped) {
    EXPECT_EQ(ListedFileSize(0, 0), 0);
    EXPECT_EQ(ListedFileSize(0, 30720), 30720);
    EXPECT_EQ(ListedFileSize(0, 0x7FFFFFFFu), 2147483647);
    EXPECT_EQ(ListedFileSize(0, 0x80000000u), -1);
    EXPECT_EQ(ListedFileSize(0, 0xFFFFFFFFu), -1);
    // 4 GiB + 100 bytes must not pass for a file of 100 bytes.
    EXPECT_EQ(ListedFileSize(1, 100), -1);
    EXPECT_EQ(ListedFileSize(0xFFFFFFFFu, 0xFFFFFFFFu), -1);
}

TEST(FtpErrorText, HasTheSessionsLayout) {
    EXPECT_EQ(FormatFtpError(L"FTP OPEN ERROR!!", 12014), L"FTP OPEN ERROR!!\r\n ERROR CODE : [ 12014 ]");
}

TEST(FtpReturnCodes, ReadReconnectionCannotBeABytecountOrTheFailure) {
    static_assert(kFtpReadReconnected < 0 && kFtpReadReconnected != kFtpError, "");
    static_assert(kFtpReconnected == 12031, "");
}

// The worker's tests depend on the stand-in behaving like a server: reset, reopen, full content.
TEST(ScriptedFtpSession, ReplaysAResetThenServesTheFileAgainFromItsStart) {
    auto script = std::make_shared<FtpScript>();
    script->AddFile(L"Software\\a.exe", "0123456789");
    script->readSteps = {FtpReadStep::Data(4), FtpReadStep::Reset()};
    ScriptedFtpSession session(script);
    char buffer[16] = {};

    EXPECT_EQ(session.OpenFile(L"Software\\a.exe"), kFtpFailed);  // not connected
    ASSERT_EQ(session.Connect(L"host", L"autoupdater", L"pw", 5301), kFtpSuccess);
    ASSERT_EQ(session.OpenFile(L"Software\\a.exe"), kFtpSuccess);
    EXPECT_EQ(session.Read(buffer, 8), 4);
    EXPECT_EQ(session.Read(buffer, 8), kFtpReadReconnected);
    EXPECT_EQ(session.Read(buffer, 8), kFtpError);  // stale handle
    ASSERT_EQ(session.OpenFile(L"\\Software\\a.exe"), kFtpSuccess);
    EXPECT_EQ(session.Read(buffer, 16), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(session.Read(buffer, 16), 0);
    EXPECT_EQ(script->CountCalls(L"OpenFile"), 3);
    EXPECT_EQ(script->Calls().front(), L"OpenFile Software\\a.exe");
}

TEST(ScriptedFtpSession, ListsTheFolderOfTheListingForm) {
    auto script = std::make_shared<FtpScript>();
    script->AddFile(L"OEM\\KESTRA\\Factory\\Software\\notes.txt", "n");
    script->AddFile(L"OEM\\KESTRA\\Factory\\Software\\TALVIX_250101.exe", "xyz");
    ScriptedFtpSession session(script);
    session.Connect(L"host", L"u", L"p", 5301);
    std::vector<FTP_FILE_INFO> files;

    EXPECT_EQ(session.ListFiles(L"\\OEM\\KESTRA\\Factory\\Software", files, L"*"), 2);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].Name(), L"TALVIX_250101.exe");
    EXPECT_EQ(files[1].dwFileSize, 3);
    EXPECT_EQ(session.ListFiles(L"\\OEM\\KESTRA\\Factory\\Software", files, L"exe"), 1);
    EXPECT_EQ(session.ListFiles(L"\\SoftwareTest", files, L"*"), kFtpError);
}
