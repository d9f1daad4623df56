// The FTP session's path rules, listed sizes and its scripted stand-in.
#include <gtest/gtest.h>

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

TEST(ListedSize, ListedSizesKeepAll64BitsAndTheCapIsAskedAgain) {
    EXPECT_EQ(ListedFileSize(0, 30720), 30720);
    EXPECT_EQ(ListedFileSize(0, 0x80000000u), 2147483648);
    // 4 GiB + 100 bytes must not pass for a file of 100 bytes.
    EXPECT_EQ(ListedFileSize(1, 100), 4294967396);
    EXPECT_EQ(ListedFileSize(0xFFFFFFFFu, 0xFFFFFFFFu), -1);
    EXPECT_TRUE(ListedSizeMayBeCapped(2147483647));
    EXPECT_FALSE(ListedSizeMayBeCapped(2147483646));
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
    ASSERT_EQ(session.Connect({L"host", L"autoupdater", L"pw", 5301}), ConnectResult::Connected);
    ASSERT_EQ(session.OpenFile(L"Software\\a.exe"), SourceOpen::Done);
    EXPECT_EQ(session.Read(buffer, 8, got, 100), SourceRead::Data);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(session.Read(buffer, 8, got, 100), SourceRead::Reset);
    EXPECT_EQ(session.OpenFile(L"Software\\a.exe"), SourceOpen::LineFault);  // the connection is gone

    ScriptedSession next(script);
    ASSERT_EQ(next.Connect({L"host", L"autoupdater", L"pw", 5301}), ConnectResult::Connected);
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
    session.Connect({L"host", L"u", L"p", 5301});
    std::vector<RemoteEntry> files;

    EXPECT_EQ(session.ListFiles(L"\\OEM\\KESTRA\\Factory\\Software", files, L"*"), 2);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].name, L"TALVIX_250101.exe");
    EXPECT_EQ(files[1].size, 3);
    EXPECT_EQ(session.ListFiles(L"\\OEM\\KESTRA\\Factory\\Software", files, L"exe"), 1);
    EXPECT_EQ(session.ListFiles(L"\\SoftwareTest", files, L"*"), kSessionError);
}
