// The FTP session's path rules, its file record and its scripted stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

#include "support/ScriptedSession.h"
#include "update/sources/logic/FtpPaths.h"
#include "update/sources/logic/SourceSession.h"

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

TEST(FtpFileInfo, ListedSizesKeepAll64BitsAndTheCapIsAskedAgain) {
    EXPECT_EQ(ListedFileSize(0, 30720), 30720);
    EXPECT_EQ(ListedFileSize(0, 0x80000000u), 2147483648);
    // 4 GiB + 100 bytes must not pass for a file of 100 bytes.
    EXPECT_EQ(ListedFileSize(1, 100), 4294967396);
    EXPECT_EQ(ListedFileSize(0xFFFFFFFFu, 0xFFFFFFFFu), -1);
    EXPECT_TRUE(ListedSizeMayBeCapped(2147483647));
    EXPECT_FALSE(ListedSizeMayBeCapped(2147483646));

    EXPECT_EQ(ParseSizeReply(L"213 4294967301\r\n"), 4294967301);
    EXPECT_EQ(ParseSizeReply(L"213 0"), 0);
    EXPECT_EQ(ParseSizeReply(L"550 SIZE not allowed in ASCII mode."), -1);
    EXPECT_EQ(ParseSizeReply(L"213 12x"), -1);
    EXPECT_EQ(ParseSizeReply(L"213 "), -1);
    EXPECT_EQ(ParseSizeReply(L"213 99999999999999999999"), -1);  // beyond 64 bits
    EXPECT_TRUE(IsRestartAccepted(L"350 Restarting at 31720."));
    EXPECT_FALSE(IsRestartAccepted(L"501 Resuming transfers not allowed in ASCII mode."));
}

// Every wait of a session with a deadline ends by it: the server check's total bound.
TEST(SessionDeadline, AWaitEndsByTheEarlierOfItsBoundAndTheDeadline) {
    struct Case {
        uint32_t bound;
        uint64_t deadline, now;
        uint32_t wait;
    };
    const Case cases[] = {
        {15000, 0, 5000, 15000},                  // no deadline: the operation's own bound
        {15000, 100000, 5000, 15000},             // far off
        {15000, 10000, 5000, 5000},               // near: what is left
        {15000, 10000, 10000, 0},                 // reached
        {15000, 10000, 20000, 0},                 // passed
        {UINT32_MAX, 1ull << 40, 0, UINT32_MAX},  // more left than a bound can say
    };
    for (const Case& c : cases)
        EXPECT_EQ(WaitWithin(c.bound, c.deadline, c.now), c.wait) << c.bound << " " << c.deadline << " " << c.now;
    EXPECT_EQ(EarlierDeadline(0, 0), 0u);
    EXPECT_EQ(EarlierDeadline(0, 7), 7u);
    EXPECT_EQ(EarlierDeadline(7, 0), 7u);
    EXPECT_EQ(EarlierDeadline(9, 7), 7u);
}

TEST(SessionErrorText, HasTheSessionsLayout) {
    EXPECT_EQ(FormatSessionError(L"FTP OPEN ERROR!!", 12014), L"FTP OPEN ERROR!!\r\n ERROR CODE : [ 12014 ]");
}

// The worker's tests depend on the stand-in behaving like a server: a fault ends the connection,
// REST moves the start of the next file, a new connection serves the file again.
TEST(ScriptedSession, ReplaysAFaultThenServesTheFileFromTheOffset) {
    auto script = std::make_shared<SessionScript>();
    script->AddFile(L"Software\\a.exe", "0123456789");
    script->readSteps = {ScriptedRead::Data(4), ScriptedRead::Reset()};
    ScriptedSession session(script);
    char buffer[16] = {};
    int got = 0;

    EXPECT_EQ(session.OpenFile(L"Software\\a.exe"), SourceOpen::LineFault);  // not connected
    ASSERT_EQ(session.Connect(L"host", L"autoupdater", L"pw", 5301), kSessionSuccess);
    ASSERT_EQ(session.OpenFile(L"Software\\a.exe"), SourceOpen::Done);
    EXPECT_EQ(session.Read(buffer, 8, got, 100), SourceRead::Data);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(session.Read(buffer, 8, got, 100), SourceRead::Reset);
    EXPECT_EQ(session.OpenFile(L"Software\\a.exe"), SourceOpen::LineFault);  // the connection is gone

    ScriptedSession next(script);
    ASSERT_EQ(next.Connect(L"host", L"autoupdater", L"pw", 5301), kSessionSuccess);
    EXPECT_EQ(next.RemoteFileSize(L"/Software/a.exe"), 10);
    EXPECT_EQ(next.RestartAt(4), SourceOpen::Done);
    ASSERT_EQ(next.OpenFile(L"\\Software\\a.exe"), SourceOpen::Done);
    EXPECT_EQ(next.Read(buffer, 16, got, 100), SourceRead::Data);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)), "456789");
    EXPECT_EQ(next.Read(buffer, 16, got, 100), SourceRead::Data);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(script->Calls().front(), L"OpenFile Software\\a.exe");
}

TEST(ScriptedSession, ListsTheFolderOfTheListingForm) {
    auto script = std::make_shared<SessionScript>();
    script->AddFile(L"OEM\\KESTRA\\Factory\\Software\\notes.txt", "n");
    script->AddFile(L"OEM\\KESTRA\\Factory\\Software\\TALVIX_250101.exe", "xyz");
    ScriptedSession session(script);
    session.Connect(L"host", L"u", L"p", 5301);
    std::vector<FTP_FILE_INFO> files;

    EXPECT_EQ(session.ListFiles(L"\\OEM\\KESTRA\\Factory\\Software", files, L"*"), 2);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].Name(), L"TALVIX_250101.exe");
    EXPECT_EQ(files[1].dwFileSize, 3);
    EXPECT_EQ(session.ListFiles(L"\\OEM\\KESTRA\\Factory\\Software", files, L"exe"), 1);
    EXPECT_EQ(session.ListFiles(L"\\SoftwareTest", files, L"*"), kSessionError);
}
