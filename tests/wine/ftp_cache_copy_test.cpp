// A download through the FTP session leaves no copy of the file in WinINet's URL cache, which lies
// outside the work folder: neither after a complete transfer nor after an abandoned or failed one.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "support/ftp_test_server.h"
#include "update/FtpSession.h"

namespace {

constexpr int kBlock = 30720;

std::wstring UrlCacheFolder()
{
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, 0, path)) ? path : L"";
}

// Full paths of the files below folder whose names start with prefix.
void FindFiles(const std::wstring& folder, const std::wstring& prefix, std::vector<std::wstring>& found)
{
    WIN32_FIND_DATAW data = {};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            FindFiles(folder + L"\\" + name, prefix, found);
        else if (name.compare(0, prefix.size(), prefix) == 0)
            found.push_back(folder + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

class FtpCacheCopyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = new FtpTestServer;
        started = server->Start();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(started) << "ftpserver.py did not start";
        ASSERT_FALSE(cache.empty());
        server->SetFaults("{}");
        // Copies left by an earlier run would hide a new one.
        for (const std::wstring& path : CacheCopies())
            DeleteFileW(path.c_str());
        ASSERT_TRUE(CacheCopies().empty());
    }
    std::vector<std::wstring> CacheCopies() const
    {
        std::vector<std::wstring> found;
        FindFiles(cache, L"CACHECOPY_", found);
        return found;
    }
    int Connect(CFtpSession& session)
    {
        return session.Connect(L"127.0.0.1", kFtpUser, kFtpPassword, server->Port());
    }

    static FtpTestServer* server;
    static bool started;
    const std::wstring cache = UrlCacheFolder();
};

FtpTestServer* FtpCacheCopyTest::server = nullptr;
bool FtpCacheCopyTest::started = false;

TEST_F(FtpCacheCopyTest, CompleteDownloadLeavesNoCopy)
{
    const std::string content = server->AddFile(L"Software\\CACHECOPY_FULL_250101.exe", 3 * kBlock + 17);
    CFtpSession session;
    ASSERT_EQ(Connect(session), 1);
    ASSERT_EQ(session.OpenFile(L"Software\\CACHECOPY_FULL_250101.exe"), 1);
    std::string got;
    std::vector<char> buffer(kBlock);
    for (int n; (n = session.Read(buffer.data(), kBlock)) > 0;)
        got.append(buffer.data(), static_cast<size_t>(n));
    EXPECT_EQ(got, content);
    EXPECT_EQ(session.CloseFile(), 1);
    EXPECT_TRUE(CacheCopies().empty());
    session.Disconnect();
    EXPECT_TRUE(CacheCopies().empty());
}

TEST_F(FtpCacheCopyTest, AbandonedDownloadLeavesNoCopy)
{
    server->AddFile(L"Software\\CACHECOPY_APP_250101.exe", 5 * kBlock);
    {
        CFtpSession session;
        ASSERT_EQ(Connect(session), 1);
        ASSERT_EQ(session.OpenFile(L"Software\\CACHECOPY_APP_250101.exe"), 1);
        std::vector<char> buffer(kBlock);
        EXPECT_EQ(session.Read(buffer.data(), kBlock), kBlock);
        session.Disconnect();  // the file is still open: the disconnect closes it
        EXPECT_TRUE(CacheCopies().empty());
    }
    {
        CFtpSession session;  // destroyed with the file open
        ASSERT_EQ(Connect(session), 1);
        ASSERT_EQ(session.OpenFile(L"Software\\CACHECOPY_APP_250101.exe"), 1);
    }
    EXPECT_TRUE(CacheCopies().empty());
}

TEST_F(FtpCacheCopyTest, FailedReadLeavesNoCopy)
{
    server->AddFile(L"Software\\CACHECOPY_OS_250101.exe", 4 * kBlock);
    server->SetFaults(R"({"drop_after": {"*": 40000}})");
    CFtpSession session;
    ASSERT_EQ(Connect(session), 1);
    ASSERT_EQ(session.OpenFile(L"Software\\CACHECOPY_OS_250101.exe"), 1);
    std::vector<char> buffer(kBlock);
    int n = 0;
    for (int reads = 0; reads < 10 && (n = session.Read(buffer.data(), kBlock)) == kBlock; ++reads) {
    }
    EXPECT_LT(n, kBlock);  // the cut ends the transfer early
    session.CloseFile();
    session.Disconnect();
    EXPECT_TRUE(CacheCopies().empty());
}

}  // namespace
