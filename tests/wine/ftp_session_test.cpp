// The WinINet FTP session against a real FTP server (tests/fixtures/ftpserver.py) under Wine.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <string>
#include <vector>

#include "support/ftp_test_server.h"
#include "update/sources/FtpSession.h"

namespace {

constexpr int kBlock = 30720;

std::vector<std::wstring> Names(const std::vector<RemoteEntry>& files) {
    std::vector<std::wstring> names;
    for (const RemoteEntry& info : files) names.push_back(info.name);
    return names;
}

// The session's last error, for a failure's message.
std::string ErrorOf(const ISourceSession& session) {
    const std::wstring error = session.LastError();
    return std::string(error.begin(), error.end());
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Reads the open file to its end in blocks; "" after a failed read (counted as -1).
std::string ReadToEnd(ISourceSession& session, std::vector<int>* counts = nullptr) {
    std::string content;
    std::vector<char> buffer(kBlock);
    for (;;) {
        int got = 0;
        const bool read = session.Read(buffer.data(), kBlock, got, 30000) == SourceRead::Data;
        if (counts) counts->push_back(read ? got : -1);
        if (!read) return std::string();
        if (got == 0) return content;
        content.append(buffer.data(), static_cast<size_t>(got));
    }
}

// One block's read result.
SourceRead ReadBlock(ISourceSession& session, std::vector<char>& buffer, uint32_t timeoutMs = 30000) {
    int got = 0;
    return session.Read(buffer.data(), kBlock, got, timeoutMs);
}

// Stand-ins for the WinINet transfer calls that report a reset a set number of times.
int g_openResets = 0;
int g_readResets = 0;

HINTERNET WINAPI OpenWithReset(HINTERNET connection, LPCWSTR path, DWORD access, DWORD flags, DWORD_PTR context) {
    if (g_openResets > 0) {
        --g_openResets;
        SetLastError(ERROR_INTERNET_CONNECTION_RESET);
        return nullptr;
    }
    return FtpOpenFileW(connection, path, access, flags, context);
}

BOOL WINAPI ReadWithReset(HINTERNET file, LPVOID buffer, DWORD count, LPDWORD read) {
    if (g_readResets > 0) {
        --g_readResets;
        SetLastError(ERROR_INTERNET_CONNECTION_RESET);
        return FALSE;
    }
    return InternetReadFile(file, buffer, count, read);
}

// The session's transfer calls report resets while g_openResets / g_readResets count down.
void InstallResets(CFtpSession& session) {
    FtpTransferCalls calls;
    calls.openFile = OpenWithReset;
    calls.readFile = ReadWithReset;
    session.SetTransferCalls(calls);
}

class FtpSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new FtpTestServer;
        started = server->Start();
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(started) << "ftpserver.py did not start";
        server->SetFaults("{}");
        server->ClearRequests();
        g_openResets = g_readResets = 0;
    }
    ConnectResult Connect(ISourceSession& session) {
        return session.Connect({L"127.0.0.1", kFtpUser, kFtpPassword, server->Port()});
    }
    int Logins() const {
        const auto requests = server->Requests();
        return static_cast<int>(std::count(requests.begin(), requests.end(), "LOGIN autoupdater"));
    }

    static FtpTestServer* server;
    static bool started;
};

FtpTestServer* FtpSessionTest::server = nullptr;
bool FtpSessionTest::started = false;

TEST_F(FtpSessionTest, ConnectsAndLogsIn) {
    CFtpSession session;
    EXPECT_EQ(Connect(session), ConnectResult::Connected);
    EXPECT_EQ(session.LastError(), L"");
    EXPECT_EQ(Logins(), 1);
}

TEST_F(FtpSessionTest, RefusedLoginFailsAndLaterOperationsStayOffTheWire) {
    server->SetFaults(R"({"refuse_login": true})");
    CFtpSession session;
    EXPECT_EQ(Connect(session), ConnectResult::Unreachable);
    EXPECT_TRUE(StartsWith(session.LastError(), L"FTP OPEN ERROR!!\r\n ERROR CODE : [ "))
        << std::string(session.LastError().begin(), session.LastError().end());
    EXPECT_EQ(session.LastError().back(), L']');

    const size_t before = server->Requests().size();
    EXPECT_EQ(session.OpenFile(L"Software\\a.exe"), SourceOpen::LineFault);
    EXPECT_EQ(server->Requests().size(), before);
}

TEST_F(FtpSessionTest, SilentServerFailsWithinTheBound) {
    server->SetFaults(R"({"silent": true})");
    CFtpSession session;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(Connect(session), ConnectResult::Unreachable);
    EXPECT_LT(GetTickCount64() - start, 20000u);
    EXPECT_TRUE(StartsWith(session.LastError(), L"FTP OPEN ERROR!!"));
}

TEST_F(FtpSessionTest, ListsFilesInTheServersOrderSkippingFoldersAndDotNames) {
    server->AddFile(L"Listing\\b_notes.txt", 10);
    server->AddFile(L"Listing\\a_TALVIX_250101.exe", 70000);
    server->AddFile(L"Listing\\c_setup.exe", 3);
    server->AddFile(L"Listing\\.hidden", 5);
    server->AddFolder(L"Listing\\subfolder");
    server->SetFaults(R"({"list_order": "reverse", "size_override": {"/Listing/c_setup.exe": 123456}})");

    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    std::vector<RemoteEntry> files(1);  // appended to, never cleared
    EXPECT_EQ(session.ListFiles(L"\\Listing", files, L"*"), 3);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(Names(files), (std::vector<std::wstring>{L"", L"c_setup.exe", L"b_notes.txt", L"a_TALVIX_250101.exe"}));
    EXPECT_EQ(files[1].size, 123456);
    EXPECT_EQ(files[3].size, 70000);
    // The listing form's two leading backslashes reach the server as one slash.
    EXPECT_TRUE(server->HasRequest("LIST /Listing"));
}

TEST_F(FtpSessionTest, ExtensionNarrowsTheListing) {
    server->AddFile(L"Masked\\notes.txt", 1);
    server->AddFile(L"Masked\\setup.exe", 1);
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    std::vector<RemoteEntry> files;
    EXPECT_EQ(session.ListFiles(L"Masked", files, L"exe"), 1);
    EXPECT_EQ(Names(files), (std::vector<std::wstring>{L"setup.exe"}));
}

TEST_F(FtpSessionTest, FoldersWithoutFilesGiveNoFile) {
    server->AddFolder(L"Empty");
    server->AddFolder(L"OnlyFolders\\inner");
    server->AddFile(L"OnlyFolders\\.profile", 4);
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    std::vector<RemoteEntry> files;
    EXPECT_EQ(session.ListFiles(L"Empty", files, L"*"), 0);
    EXPECT_EQ(session.LastError(), L"ERROR NO FILE!!");
    EXPECT_EQ(session.ListFiles(L"\\OnlyFolders", files, L"*"), 0);
    EXPECT_EQ(session.LastError(), L"ERROR NO FILE!!");
    EXPECT_TRUE(files.empty());
}

TEST_F(FtpSessionTest, MissingFolderFails) {
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    std::vector<RemoteEntry> files;
    const int result = session.ListFiles(L"\\NoSuchFolder", files, L"*");
    if (result == 0) {
        EXPECT_EQ(session.LastError(), L"ERROR NO FILE!!");
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(StartsWith(session.LastError(), L"FILE FIND ERROR!!!!\r\n ERROR CODE : [ "));
    }
    EXPECT_TRUE(files.empty());
}

TEST_F(FtpSessionTest, ReadsAWholeFileInBlocksWithAnOrdinary12031ByteTail) {
    const std::string served = server->AddFile(L"Software\\TALVIX_250101.exe", 3 * kBlock + 12031);
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    ASSERT_EQ(session.OpenFile(L"Software\\TALVIX_250101.exe"), SourceOpen::Done);
    EXPECT_TRUE(server->HasRequest("RETR /Software/TALVIX_250101.exe"));

    std::vector<int> counts;
    EXPECT_TRUE(ReadToEnd(session, &counts) == served);
    EXPECT_EQ(counts, (std::vector<int>{kBlock, kBlock, kBlock, 12031, 0}));
    EXPECT_EQ(session.CloseFile(), 1);
    EXPECT_EQ(session.CloseFile(), 1);  // nothing open any more
}

TEST_F(FtpSessionTest, OpenPathsWithAndWithoutLeadingBackslashReachTheSameFile) {
    const std::string served = server->AddFile(L"Software\\a.exe", 5000);
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    ASSERT_EQ(session.OpenFile(L"\\Software\\a.exe"), SourceOpen::Done);
    session.CloseFile();
    ASSERT_EQ(session.OpenFile(L"Software\\a.exe"), SourceOpen::Done);
    session.CloseFile();
    const auto requests = server->Requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "RETR /Software/a.exe"), 2);
}

TEST_F(FtpSessionTest, MissingRemoteFileIsRefusedWithTheServersAnswer) {
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    EXPECT_EQ(session.OpenFile(L"Software\\missing.exe"), SourceOpen::Refused);
    EXPECT_TRUE(StartsWith(session.LastError(), L"550")) << session.LastError().size();
    EXPECT_EQ(session.LastFailure(), SourceFailure::Refused);  // the server answered: a missing file
    // The server lists; its files' lengths are asked only when a transfer goes on from an offset.
    EXPECT_TRUE(session.CanList());
    EXPECT_FALSE(session.KnowsSizeUpFront());
}

TEST_F(FtpSessionTest, CloseFileWithNothingOpenSucceeds) {
    CFtpSession session;
    EXPECT_EQ(session.CloseFile(), 1);
}

// Wine's client reports a data connection cut by the server as an early end of the file (a read
// of 0), not as a failure; the caller sees fewer bytes than listed.
TEST_F(FtpSessionTest, DataConnectionCutByTheServerEndsTheTransferEarly) {
    const std::string served = server->AddFile(L"Software\\dropped.exe", 200000);
    server->SetFaults(R"({"drop_after": {"/Software/dropped.exe": 40000}})");
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    ASSERT_EQ(session.OpenFile(L"Software\\dropped.exe"), SourceOpen::Done);
    std::vector<int> counts;
    const std::string content = ReadToEnd(session, &counts);
    EXPECT_LE(counts.back(), 0);
    EXPECT_LE(content.size(), 40000u);
    EXPECT_TRUE(served.compare(0, content.size(), content) == 0);
    session.CloseFile();
}

TEST_F(FtpSessionTest, ResetsAreLineFaultsLeftToTheCaller) {
    server->AddFile(L"Software\\reset.exe", 2 * kBlock + 7);
    CFtpSession ftp;
    InstallResets(ftp);
    ISourceSession& session = ftp;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);

    g_openResets = 1;
    EXPECT_EQ(session.OpenFile(L"Software\\reset.exe"), SourceOpen::LineFault);
    EXPECT_EQ(session.LastFailure(), SourceFailure::Unreachable);
    g_readResets = 1;  // before the first read: the session reads ahead
    ASSERT_EQ(session.OpenFile(L"Software\\reset.exe"), SourceOpen::Done);
    std::vector<char> buffer(kBlock);
    EXPECT_EQ(ReadBlock(session, buffer), SourceRead::Reset);
    EXPECT_EQ(Logins(), 1);  // the session does not reconnect on its own
}

TEST_F(FtpSessionTest, SizeAndRestartGoOnFromTheOffsetBeyond4GiBListings) {
    const std::string served = server->AddFile(L"Software\\resume.exe", 3 * kBlock + 5);
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    EXPECT_EQ(session.RemoteFileSize(L"Software\\resume.exe"), 3 * kBlock + 5);
    EXPECT_EQ(session.RestartAt(kBlock + 1), SourceOpen::Done);
    ASSERT_EQ(session.OpenFile(L"Software\\resume.exe"), SourceOpen::Done);
    EXPECT_TRUE(ReadToEnd(session) == served.substr(kBlock + 1));
    session.CloseFile();

    // Listings stop at 2147483647 under Wine: the server's SIZE tells the rest (the catalogue asks it
    // for the one file it offers, not the listing for every capped entry).
    server->SetFaults(R"({"size_override": {"/Software/resume.exe": 4294967301}})");
    std::vector<RemoteEntry> files;
    ASSERT_GE(session.ListFiles(L"\\Software", files, L"exe"), 1);
    const auto listed =
        std::find_if(files.begin(), files.end(), [](const RemoteEntry& f) { return f.name == L"resume.exe"; });
    ASSERT_NE(listed, files.end());
    EXPECT_TRUE(ListedSizeMayBeCapped(listed->size));
    EXPECT_EQ(session.RemoteFileSize(L"Software\\resume.exe"), 4294967301);
    EXPECT_EQ(session.RemoteFileSize(L"Software\\missing.exe"), -1);
}

TEST_F(FtpSessionTest, ReadOfASilentServerIsLeftBehindAtTheBoundOrOnStop) {
    server->AddFile(L"Software\\stall.exe", 4 * kBlock);
    server->SetFaults(R"({"stall_after": {"*": 40000}})");
    std::atomic<bool> stop{false};
    for (bool stopping : {false, true}) {
        CFtpSession session(&stop);
        ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
        ASSERT_EQ(session.OpenFile(L"Software\\stall.exe"), SourceOpen::Done);
        std::vector<char> buffer(kBlock);
        int got = 0, total = 0;
        SourceRead result = SourceRead::Data;
        const ULONGLONG start = GetTickCount64();
        if (stopping) {
            std::thread([&stop] {
                Sleep(700);
                stop = true;
            }).detach();
        }
        while ((result = session.Read(buffer.data(), kBlock, got, stopping ? 20000 : 700)) == SourceRead::Data &&
               got > 0)
            total += got;
        EXPECT_EQ(result, stopping ? SourceRead::Stopped : SourceRead::TimedOut);
        EXPECT_EQ(total, 40000);
        EXPECT_LT(GetTickCount64() - start, 5000u);
        session.Disconnect();
    }
}

TEST_F(FtpSessionTest, ConnectAgainReplacesTheOldConnection) {
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    session.Disconnect();
    EXPECT_EQ(session.OpenFile(L"Software\\a.exe"), SourceOpen::LineFault);
    EXPECT_EQ(Logins(), 2);
}

// WinINet's URL cache lies outside the work folder: no download may leave a copy of its file there.
class FtpCacheCopyTest : public FtpSessionTest {
protected:
    void SetUp() override {
        FtpSessionTest::SetUp();
        wchar_t path[MAX_PATH] = {};
        ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, 0, path)));
        cache = path;
        // Copies left by an earlier run would hide a new one.
        for (const std::wstring& copy : CacheCopies()) DeleteFileW(copy.c_str());
        ASSERT_TRUE(CacheCopies().empty());
    }
    // Files below the cache folder whose names start with "CACHECOPY_".
    std::vector<std::wstring> CacheCopies() const {
        std::vector<std::wstring> found;
        FindCopies(cache, found);
        return found;
    }

    std::wstring cache;

private:
    static void FindCopies(const std::wstring& folder, std::vector<std::wstring>& found) {
        WIN32_FIND_DATAW data = {};
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                FindCopies(folder + L"\\" + name, found);
            else if (StartsWith(name, L"CACHECOPY_"))
                found.push_back(folder + L"\\" + name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
};

TEST_F(FtpCacheCopyTest, CompleteDownloadLeavesNoCopy) {
    const std::string served = server->AddFile(L"Software\\CACHECOPY_FULL_250101.exe", 3 * kBlock + 17);
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    ASSERT_EQ(session.OpenFile(L"Software\\CACHECOPY_FULL_250101.exe"), SourceOpen::Done);
    EXPECT_TRUE(ReadToEnd(session) == served);
    EXPECT_EQ(session.CloseFile(), 1);
    EXPECT_TRUE(CacheCopies().empty());
    session.Disconnect();
    EXPECT_TRUE(CacheCopies().empty());
}

TEST_F(FtpCacheCopyTest, AbandonedDownloadLeavesNoCopy) {
    server->AddFile(L"Software\\CACHECOPY_APP_250101.exe", 5 * kBlock);
    std::vector<char> buffer(kBlock);
    {
        CFtpSession session;
        ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
        ASSERT_EQ(session.OpenFile(L"Software\\CACHECOPY_APP_250101.exe"), SourceOpen::Done);
        int got = 0;
        EXPECT_EQ(session.Read(buffer.data(), kBlock, got, 30000), SourceRead::Data);
        EXPECT_EQ(got, kBlock);
        session.Disconnect();  // closes the file that is still open
        EXPECT_TRUE(CacheCopies().empty());
    }
    {
        CFtpSession session;  // destroyed with the file open
        ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
        ASSERT_EQ(session.OpenFile(L"Software\\CACHECOPY_APP_250101.exe"), SourceOpen::Done);
    }
    EXPECT_TRUE(CacheCopies().empty());
}

TEST_F(FtpCacheCopyTest, CutTransferLeavesNoCopy) {
    server->AddFile(L"Software\\CACHECOPY_OS_250101.exe", 4 * kBlock);
    server->SetFaults(R"({"drop_after": {"*": 40000}})");
    CFtpSession session;
    ASSERT_EQ(Connect(session), ConnectResult::Connected) << ErrorOf(session);
    ASSERT_EQ(session.OpenFile(L"Software\\CACHECOPY_OS_250101.exe"), SourceOpen::Done);
    EXPECT_LE(ReadToEnd(session).size(), 40000u);
    session.CloseFile();
    session.Disconnect();
    EXPECT_TRUE(CacheCopies().empty());
}

}  // namespace
