// The local update source (/source FOLDER) under Wine: a flat folder listed, sized and read like a
// server's edition folder; names that could leave it, folders and links are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "update/sources/FolderSession.h"
#include "update/release/logic/SmallFile.h"

namespace {

const wchar_t kServerFolder[] = L"OEM\\KESTRA\\Factory\\Software\\";
const DWORD kLinkFlags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // 0x2: SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(std::string(path.begin(), path.end()), std::ios::binary) << bytes;
}

std::string ReadToEnd(ISourceSession& session) {
    std::string content;
    std::vector<char> buffer(30720);
    for (;;) {
        int got = 0;
        if (session.Read(buffer.data(), static_cast<int>(buffer.size()), got, 30000) != SourceRead::Data)
            return "failed";
        if (got == 0) return content;
        content.append(buffer.data(), static_cast<size_t>(got));
    }
}

bool IsLinkMade(const std::wstring& link, const std::wstring& target, DWORD flags) {
    if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags))
        ::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags & ~0x2u);
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

class FolderSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = L"c:\\windows\\temp\\qv-folder-" + std::to_wstring(::GetCurrentProcessId());
        m_folder = m_root + L"\\stick";
        ::CreateDirectoryW(m_root.c_str(), nullptr);
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        ::CreateDirectoryW((m_folder + L"\\sub").c_str(), nullptr);
        for (size_t i = 0; i < 100000; ++i) m_setup += static_cast<char>('a' + (i * 7 + i / 251) % 26);
        WriteBytes(m_folder + L"\\X_FULL_250101.exe", m_setup);
        WriteBytes(m_folder + L"\\release.txt", "statement");
    }
    void TearDown() override {
        for (const wchar_t* name : {L"\\X_FULL_250101.exe", L"\\release.txt", L"\\linked.exe"})
            ::DeleteFileW((m_folder + name).c_str());
        ::RemoveDirectoryW((m_folder + L"\\sub").c_str());
        ::RemoveDirectoryW(m_folder.c_str());
        ::RemoveDirectoryW((m_root + L"\\link").c_str());
        ::DeleteFileW((m_root + L"\\link").c_str());
        ::RemoveDirectoryW(m_root.c_str());
    }
    UpdateSource Source(const std::wstring& folder) const { return RunSources({}, folder).front(); }

    std::wstring m_root, m_folder;
    std::string m_setup;
};

TEST_F(FolderSessionTest, ListsSizesAndReadsPlainFilesFromAnyOffset) {
    CFolderSession missing(Source(m_root + L"\\none"));
    EXPECT_EQ(missing.Connect({}), ConnectResult::Unreachable);
    EXPECT_EQ(missing.LastFailure(), SourceFailure::Unreachable);

    std::atomic<bool> stop{false};
    CFolderSession session(Source(m_folder + L"\\"), &stop);
    ASSERT_EQ(session.Connect({L"ignored", L"", L"", 21}), ConnectResult::Connected);
    // A folder lists, and is trusted only through the statement.
    EXPECT_TRUE(session.CanList());
    EXPECT_TRUE(session.NeedsStatement());
    std::vector<RemoteEntry> files;
    ASSERT_EQ(session.ListFiles(kServerFolder, files, L"*"), 2);  // the subfolder is not listed
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    EXPECT_EQ(files[0].name, L"X_FULL_250101.exe");
    EXPECT_EQ(files[0].size, 100000);
    EXPECT_EQ(files[1].name, L"release.txt");
    EXPECT_EQ(files[1].size, 9);

    const std::wstring remote = std::wstring(kServerFolder) + L"X_FULL_250101.exe";
    EXPECT_EQ(session.RemoteFileSize(remote), 100000);
    EXPECT_EQ(session.RemoteFileSize(L"/a/release.txt"), 9);
    EXPECT_EQ(session.RemoteFileSize(L"gone.exe"), -1);
    ASSERT_EQ(session.OpenFile(remote), SourceOpen::Done);
    EXPECT_EQ(ReadToEnd(session), m_setup);
    ASSERT_EQ(session.RestartAt(70001), SourceOpen::Done);
    ASSERT_EQ(session.OpenFile(remote), SourceOpen::Done);
    EXPECT_EQ(ReadToEnd(session), m_setup.substr(70001));
    ASSERT_EQ(session.OpenFile(remote), SourceOpen::Done);  // the offset served one opening only
    EXPECT_EQ(ReadToEnd(session).size(), m_setup.size());

    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadSmallFile(session, std::wstring(kServerFolder) + L"release.txt", 9, bytes, 1000));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "statement");
    EXPECT_FALSE(ReadSmallFile(session, L"release.txt", 8, bytes, 1000));
    EXPECT_TRUE(bytes.empty());

    // Missing files, the subfolder and names that could reach outside the folder or a device.
    for (const wchar_t* path : {L"gone.exe", L"sub", L"x\\..", L"a:b.exe", L"CON", L"setup.exe."}) {
        EXPECT_EQ(session.OpenFile(path), SourceOpen::Refused) << std::string(path, path + wcslen(path));
        EXPECT_EQ(session.LastFailure(), SourceFailure::Refused);  // a missing file, not a failed line
    }
    EXPECT_EQ(session.RemoteFileSize(L"x\\.."), -1);

    ASSERT_EQ(session.OpenFile(remote), SourceOpen::Done);
    stop = true;
    int got = -1;
    char buffer[16];
    EXPECT_EQ(session.Read(buffer, sizeof buffer, got, 1000), SourceRead::Stopped);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(session.CloseFile(), kSessionSuccess);
    session.Disconnect();
    EXPECT_EQ(session.OpenFile(remote), SourceOpen::LineFault);
    EXPECT_TRUE(IsLineFailure(session.LastFailure()));
}

TEST_F(FolderSessionTest, LinksAreNeitherConnectedToNorListedNorRead) {
    const std::wstring link = m_root + L"\\link";
    const std::wstring linkedFile = m_folder + L"\\linked.exe";
    if (!IsLinkMade(link, m_folder, kLinkFlags) ||
        !IsLinkMade(linkedFile, m_folder + L"\\X_FULL_250101.exe", kLinkFlags & ~SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "this system makes no symbolic link that it names a link";

    CFolderSession throughLink(Source(link));
    EXPECT_EQ(throughLink.Connect({}), ConnectResult::Unreachable);

    CFolderSession session(Source(m_folder));
    ASSERT_EQ(session.Connect({}), ConnectResult::Connected);
    std::vector<RemoteEntry> files;
    EXPECT_EQ(session.ListFiles(L"", files, L".exe"), 1);
    EXPECT_EQ(session.OpenFile(L"linked.exe"), SourceOpen::Refused);
    EXPECT_EQ(session.RemoteFileSize(L"linked.exe"), -1);
}

}  // namespace
