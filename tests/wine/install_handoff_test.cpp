// The hand-off on a prepared work folder: only the files this run wrote are listed and launched,
// anything else is removed first, a setup program changed after its download or without a trusted
// signature is not launched. The demo setup program (signed at build time) records its start.
#include "system/Sha256.h"
#include "update/handoff/InstallHandOff.h"
#include "update/engine/LocalFiles.h"
#include "update/release/ReleaseReader.h"
#include "update/handoff/SetupSignature.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

const wchar_t kLaunchRecord[] = L"c:\\Windows\\Temp\\qv-setup-launched.txt";

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(f);
    return bytes;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class InstallHandOffTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        // A folder of each test's own: a launched setup program may still hold the last one's file.
        static int serial = 0;
        m_folder = std::wstring(temp) + L"qv-handoff-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++serial) + L"\\";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        m_files->CreateFolderTree(m_folder);
        ::DeleteFileW(kLaunchRecord);
        // The demo setup program closes its window by itself.
        ::SetEnvironmentVariableW(L"QV_SETUP_AUTOCLOSE_MS", L"300");
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring here(self);
        m_demoSetup = ReadBytes(here.substr(0, here.find_last_of(L'\\') + 1) + L"DemoSetupSigned.exe");
        ASSERT_FALSE(m_demoSetup.empty());
    }
    void TearDown() override {
        m_files.reset();  // lets the work folder go
        for (const wchar_t* name :
             {L"X_FULL_250101.EXE", L"X_APP_250101.EXE", L"X_FULL_999999.EXE", L"NEXT_UPDATE_INFO.INI"})
            ::DeleteFileW((m_folder + name).c_str());
        ::RemoveDirectoryW(m_folder.c_str());
        ::DeleteFileW(kLaunchRecord);
    }

    // Writes the file the way the download worker does, with its digest.
    void Download(const std::wstring& name, const std::string& bytes) {
        ASSERT_TRUE(m_files->Create(m_folder + L"\\" + name));
        ASSERT_TRUE(
            m_files->Write(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size())));
        m_files->Close();
    }
    // The worker's check of the setup program, then the hand-off.
    HandOffResult HandOff(std::optional<FourPartVersion> installed = std::nullopt) {
        DownloadRequest request;
        request.workFolder = m_folder;
        request.release.installed = installed;
        FinishedDownload download{m_files->Written(), CHeldSetup::Check(request, m_files->Written(), 60000)};
        return RunInstallHandOff(m_folder, download).result;
    }
    bool Exists(const std::wstring& name) const {
        return ::GetFileAttributesW((m_folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    // Writes a file into the work folder behind the worker's back.
    void Place(const std::wstring& name, const std::string& bytes) {
        std::ofstream(Narrow(m_folder + name), std::ios::binary | std::ios::app) << bytes;
    }
    // The demo setup program's record of its start, or empty when it did not start in time.
    static std::string LaunchRecord(DWORD timeoutMs) {
        const DWORD start = ::GetTickCount();
        do {
            const std::string record = ReadBytes(kLaunchRecord);
            if (!record.empty()) return record;
            ::Sleep(50);
        } while (::GetTickCount() - start < timeoutMs);
        return std::string();
    }

    std::wstring m_folder;
    std::string m_demoSetup;
    std::unique_ptr<CLocalFiles> m_files = std::make_unique<CLocalFiles>();
};

TEST_F(InstallHandOffTest, ListsAndLaunchesOnlyWhatThisRunWrote) {
    Download(L"X_APP_250101.EXE", m_demoSetup);
    Download(L"X_FULL_250101.EXE", m_demoSetup);
    Place(L"X_FULL_999999.EXE", m_demoSetup);  // a higher number, not downloaded
    Place(L"NEXT_UPDATE_INFO.INI", "[NEXT_FILE]");
    ::CreateDirectoryW((m_folder + L"SUB").c_str(), nullptr);
    Place(L"SUB\\VERSION.DLL", "planted");
    ASSERT_EQ(m_files->Written().size(), 2u);

    EXPECT_EQ(HandOff(), HandOffResult::Launched);
    const std::string folder = Narrow(m_folder);
    EXPECT_EQ(
        ReadBytes(m_folder + L"NEXT_UPDATE_INFO.INI"),
        "[NEXT_FILE]\r\nINDEX =0\r\n0 = " + folder + "X_FULL_250101.EXE\r\n1 = " + folder + "X_APP_250101.EXE\r\n");
    const std::string record = LaunchRecord(20000);
    ASSERT_FALSE(record.empty()) << "the setup program did not start";
    std::string launched = record.substr(0, record.find("\r\n"));
    for (char& c : launched) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    std::string expected = "PATH=" + folder + "X_FULL_250101.EXE";
    for (char& c : expected) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(launched, expected);
    // What this run did not write was removed before the launch.
    EXPECT_EQ(::GetFileAttributesW((m_folder + L"X_FULL_999999.EXE").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW((m_folder + L"SUB").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(InstallHandOffTest, SetupChangedAfterItsDownloadIsNotLaunched) {
    Download(L"X_FULL_250101.EXE", m_demoSetup);
    Place(L"X_FULL_250101.EXE", "one more byte");
    EXPECT_EQ(HandOff(), HandOffResult::SetupChanged);
    EXPECT_TRUE(LaunchRecord(1500).empty());
}

TEST_F(InstallHandOffTest, UnsignedSetupOrOneThatIsNotAProgramIsRefused) {
    Download(L"X_FULL_250101.EXE", std::string(70000, '\x5A'));
    EXPECT_EQ(HandOff(), HandOffResult::SignatureRefused);
    EXPECT_FALSE(Exists(L"X_FULL_250101.EXE"));  // a refused setup does not stay behind
}

// The demo setup says 9.0.0.0: refused over a newer scanner, and removed; launched over an older one.
TEST_F(InstallHandOffTest, OlderSetupThanTheInstalledScannerIsRefusedAndRemoved) {
    Download(L"X_FULL_250101.EXE", m_demoSetup);
    EXPECT_EQ(HandOff(FourPartVersion::FromFixed(0x000A0000, 0)), HandOffResult::ReleaseRefused);
    EXPECT_FALSE(Exists(L"X_FULL_250101.EXE"));
    EXPECT_TRUE(LaunchRecord(300).empty());
}

// The statement may expire between the download's check and the hand-off (a window left open): the
// hand-off looks again and launches nothing.
TEST_F(InstallHandOffTest, StatementExpiredSinceTheCheckLaunchesNothing) {
    Download(L"X_FULL_250101.EXE", m_demoSetup);
    ReleaseFile file;
    file.name = L"X_FULL_250101.exe";
    file.size = static_cast<int64_t>(m_demoSetup.size());
    ASSERT_TRUE(CSha256::Of(m_demoSetup.data(), m_demoSetup.size(), file.sha256));
    file.version = FourPartVersion{{9, 0, 0, 0}};
    auto statement = std::make_shared<ReleaseStatement>();
    statement->files.push_back(file);
    statement->expires = StatementClockNow() - 1;
    {
        CFile setup;
        ASSERT_TRUE(setup.OpenForReading(m_folder + L"X_FULL_250101.EXE"));
        const SignatureVerdict verdict = CheckSetupSignature(setup.Handle(), m_folder + L"X_FULL_250101.EXE");
        const std::optional<CertFingerprint> publisher = PublisherOf(verdict, BuildSignaturePolicy());
        ASSERT_TRUE(publisher);
        statement->publisher = *publisher;
    }
    DownloadRequest request;
    request.workFolder = m_folder;
    request.items.resize(1);
    request.items[0].name = file.name;
    request.release.statement = statement;
    FinishedDownload download{m_files->Written(), CHeldSetup::Check(request, m_files->Written(), 60000)};
    ASSERT_EQ(download.setup->Verdict(), SetupVerdict::Ready);  // what the check found still holds
    EXPECT_EQ(RunInstallHandOff(m_folder, download).result, HandOffResult::ReleaseRefused);
    EXPECT_FALSE(Exists(L"X_FULL_250101.EXE"));
    EXPECT_TRUE(LaunchRecord(300).empty());
}

TEST_F(InstallHandOffTest, CheckedSetupIsHeldAgainstChangeUntilLetGo) {
    Download(L"X_FULL_250101.EXE", m_demoSetup);
    DownloadRequest request;
    request.workFolder = m_folder;
    std::unique_ptr<CHeldSetup> setup = CHeldSetup::Check(request, m_files->Written(), 60000);
    EXPECT_EQ(setup->Verdict(), SetupVerdict::Ready);
    const std::wstring path = m_folder + L"X_FULL_250101.EXE";
    EXPECT_EQ(_wcsicmp(setup->Path().c_str(), path.c_str()), 0);
    const HANDLE writer =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
    EXPECT_FALSE(::MoveFileW(path.c_str(), (m_folder + L"X_FULL_999999.EXE").c_str()));
    EXPECT_FALSE(::DeleteFileW(path.c_str()));
    setup.reset();
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

int64_t GetFileSizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(LocalFilesTest, DigestIsOfTheBytesWrittenAcrossARewindAndAPartialFileGoes) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"qv-digest-" + std::to_wstring(::GetCurrentProcessId());
    CLocalFiles files;
    files.CreateFolderTree(temp);
    ASSERT_TRUE(files.Create(path));
    const unsigned char abc[] = {'a', 'b', 'c'};
    ASSERT_TRUE(files.Write(abc + 2, 1));
    ASSERT_TRUE(files.Rewind());  // a start from byte 0 again: neither the bytes nor the digest stay
    ASSERT_TRUE(files.Write(abc, 1));
    ASSERT_TRUE(files.Write(abc + 1, 2));
    ASSERT_TRUE(files.Close());
    ASSERT_EQ(files.Written().size(), 1u);
    EXPECT_EQ(GetFileSizeOf(path), 3);
    EXPECT_EQ(ToHex(files.Written()[0].digest), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    files.Delete(path);
    EXPECT_TRUE(files.Written().empty());
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

    // A file not closed whole is removed by the system when its handle goes, as at a process's end.
    {
        CLocalFiles partial;
        partial.CreateFolderTree(temp);
        ASSERT_TRUE(partial.Create(path));
        ASSERT_TRUE(partial.Write(abc, 3));
        EXPECT_NE(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
