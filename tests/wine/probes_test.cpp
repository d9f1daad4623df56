// The environment probes on a real (Wine) system: version resources, the installed scanner,
// processes, folders. Runs in a 64-bit prefix and, as a second run, in a WINEARCH=win32 prefix;
// each run checks the bitness and program files folder of the system it finds.
#include <gtest/gtest.h>

#include "framework/Win32.h"
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "system/EnvironmentProbes.h"
#include "system/HeldFolder.h"
#include "support/ftp_test_server.h"

namespace {

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring ToolPath(const std::wstring& name) {
    const std::wstring own = OwnPath();
    return own.substr(0, own.rfind(L'\\') + 1) + name;
}

// Runs a program to its end; its exit code, or -1 when it could not run in time.
int RunProgram(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// A copy of the scanner stand-in with its own translation and FileVersion.
bool InstallStandIn(const std::wstring& target, const wchar_t* language, const wchar_t* codePage,
                    const wchar_t* version) {
    if (!CopyFileW(ToolPath(L"TalvixStandIn.exe").c_str(), target.c_str(), FALSE)) return false;
    return RunProgram(L"\"" + ToolPath(L"SetVersionInfo.exe") + L"\" \"" + target + L"\" " + language + L" " +
                      codePage + L" " + version) == 0;
}

// A running program; ended with the object unless it has gone already.
class RunningProgram {
public:
    explicit RunningProgram(const std::wstring& path) {
        std::wstring line = L"\"" + path + L"\" 120";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_process)) {
            CloseHandle(m_process.hThread);
            WaitForInputIdle(m_process.hProcess, 10000);
        }
    }
    ~RunningProgram() {
        if (m_process.hProcess) {
            TerminateProcess(m_process.hProcess, 0);
            WaitForSingleObject(m_process.hProcess, 5000);
            CloseHandle(m_process.hProcess);
        }
    }
    bool Started() const { return m_process.hProcess != nullptr; }
    DWORD Id() const { return m_process.dwProcessId; }
    bool EndsWithin(DWORD ms) const { return WaitForSingleObject(m_process.hProcess, ms) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION m_process = {};
};

// Ids of the processes whose names contain the fragment, in snapshot order.
std::vector<DWORD> ProcessesNamed(const std::wstring& fragment) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (std::wstring(entry.szExeFile).find(fragment) != std::wstring::npos) ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class ProbesTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"qv-probes-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(GetTickCount64());
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        ASSERT_TRUE(GetFileAttributesW(ToolPath(L"TalvixStandIn.exe").c_str()) != INVALID_FILE_ATTRIBUTES)
            << "the test tools are built next to the test";
    }
    void TearDown() override {
        // Leftovers of a failed test must not confuse the next one.
        for (const std::wstring& file : Files()) SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTree(m_folder);
    }
    std::vector<std::wstring> Files() {
        std::vector<std::wstring> files;
        CollectFiles(m_folder, files);
        return files;
    }
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + L"\\" + name;
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path);
                else
                    DeleteFileW(path.c_str());
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring Path(const std::wstring& name) const { return m_folder + L"\\" + name; }

    std::wstring m_folder;
};

TEST_F(ProbesTest, FileVersionIsReadUnderTheFirstTranslation) {
    const std::wstring korean = Path(L"korean.exe");
    ASSERT_TRUE(InstallStandIn(korean, L"0412", L"04b0", L"3.2.1.0"));
    EXPECT_EQ(GetFileVersionString(korean), L"3.2.1.0");

    const std::wstring english = Path(L"english.exe");
    ASSERT_TRUE(InstallStandIn(english, L"0409", L"04e4", L"1.0.25.7"));
    EXPECT_EQ(GetFileVersionString(english), L"1.0.25.7");
}

TEST_F(ProbesTest, FilesWithoutAVersionGiveADash) {
    EXPECT_EQ(GetFileVersionString(ToolPath(L"SetVersionInfo.exe")), L"-");  // has none
    EXPECT_EQ(GetFileVersionString(Path(L"missing.exe")), L"-");
}

TEST_F(ProbesTest, InstalledScannerIsLookedForWhereThisWindowsKeeps32BitPrograms) {
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    const bool x64 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    const std::wstring programFiles = x64 ? L"C:\\Program Files (x86)" : L"C:\\Program Files";
    const std::wstring folder = programFiles + L"\\QuorvelSystems\\TALVIX";
    const std::wstring scanner = folder + L"\\TALVIX.exe";
    CreateFolderTree(folder);
    ASSERT_TRUE(InstallStandIn(scanner, L"0412", L"04b0", L"7.1.0.3"));

    std::wstring bitness;
    std::wstring installed = L"old";
    EXPECT_EQ(ReadInstalledScannerVersion(nullptr, bitness, installed), 1);
    EXPECT_EQ(bitness, x64 ? L"64 Bit" : L"32 Bit");
    EXPECT_EQ(installed, L"7.1.0.3");

    ASSERT_TRUE(DeleteFileW(scanner.c_str()));
    EXPECT_EQ(ReadInstalledScannerVersion(nullptr, bitness, installed), 1);
    EXPECT_EQ(installed, L"-");
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW((programFiles + L"\\QuorvelSystems").c_str());
}

TEST_F(ProbesTest, WindowsVersionIsKnownAndStable) {
    DWORD major = 0, minor = 0;
    ASSERT_TRUE(GetWindowsVersion(major, minor));
    EXPECT_GE(major, 5u);
    DWORD againMajor = 0, againMinor = 0;
    ASSERT_TRUE(GetWindowsVersion(againMajor, againMinor));
    EXPECT_EQ(againMajor, major);
    EXPECT_EQ(againMinor, minor);
}

TEST_F(ProbesTest, OnlyTheFirstMatchingProcessIsEnded) {
    const std::wstring scanner = Path(L"TALVIX.exe");
    ASSERT_TRUE(InstallStandIn(scanner, L"0409", L"04b0", L"1.0.0.0"));
    ASSERT_TRUE(ProcessesNamed(L"TALVIX").empty()) << "a scanner stand-in from elsewhere runs";
    RunningProgram one(scanner);
    RunningProgram two(scanner);
    ASSERT_TRUE(one.Started() && two.Started());
    const std::vector<DWORD> order = ProcessesNamed(L"TALVIX");
    ASSERT_EQ(order.size(), 2u);

    EXPECT_EQ(KillProcessByName(L"TALVIX"), 1);
    const RunningProgram& first = order[0] == one.Id() ? one : two;
    const RunningProgram& second = order[0] == one.Id() ? two : one;
    EXPECT_TRUE(first.EndsWithin(5000));
    EXPECT_FALSE(second.EndsWithin(300));
}

TEST_F(ProbesTest, NamesAreMatchedCaseSensitively) {
    const std::wstring lower = Path(L"talvix.exe");
    ASSERT_TRUE(InstallStandIn(lower, L"0409", L"04b0", L"1.0.0.0"));
    RunningProgram program(lower);
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(KillProcessByName(L"TALVIX"), 0);
    EXPECT_FALSE(program.EndsWithin(300));
    EXPECT_EQ(KillProcessByName(L""), 0);
}

TEST_F(ProbesTest, CloseRunningScannerEndsTheScanner) {
    const std::wstring scanner = Path(L"TALVIX.exe");
    ASSERT_TRUE(InstallStandIn(scanner, L"0409", L"04b0", L"1.0.0.0"));
    RunningProgram program(scanner);
    ASSERT_TRUE(program.Started());
    CloseRunningScanner();
    EXPECT_TRUE(program.EndsWithin(5000));
    CloseRunningScanner();  // nothing left to end
}

TEST_F(ProbesTest, CreateFolderTreeMakesTheWorkFolderAndPassesOverExistingOnes) {
    const std::wstring work = L"c:\\Windows\\Temp\\QVUpdate\\";
    const bool existed = IsFolder(work);
    CreateFolderTree(work);
    EXPECT_TRUE(IsFolder(work));
    CreateFolderTree(work);
    EXPECT_TRUE(IsFolder(work));
    if (!existed) RemoveDirectoryW(work.c_str());

    CreateFolderTree(Path(L"a\\b\\c"));
    EXPECT_TRUE(IsFolder(Path(L"a\\b\\c")));
}

// The folders the program writes in: made as they are missing, their files reached by name only.
TEST_F(ProbesTest, AHeldFolderIsMadeAndEmptiedThroughItsHandle) {
    // Links on the way are refused in test_command_line.py and test_handoff_safety.py: Wine cannot
    // remove a link to a folder, which this test would leave behind.
    CreateDirectoryW(Path(L"real").c_str(), nullptr);
    WriteWholeFile(Path(L"real\\precious.txt"), "p");
    CHeldFolder held;
    ASSERT_EQ(held.Open(Path(L"work\\inner"), FolderDemand::MadePrivate).verdict, FolderVerdict::Held);
    CreateDirectoryW(Path(L"work\\inner\\sub").c_str(), nullptr);
    WriteWholeFile(Path(L"work\\inner\\sub\\three.txt"), "3");
    WriteWholeFile(Path(L"work\\inner\\locked.txt"), "4");
    SetFileAttributesW(Path(L"work\\inner\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CFile file;
    ASSERT_TRUE(held.Create(L"ONE.EXE", file));
    EXPECT_TRUE(file.Write("1", 1));
    file.Close();
    EXPECT_FALSE(held.Create(L"sub", file));  // a folder is not removed to make room
    EXPECT_FALSE(held.Open(L"..\\real\\precious.txt", FileOpen::Read, file));
    // A check's emptying leaves the folders; the hand-off's leaves only what it names.
    EXPECT_TRUE(held.RemoveFiles());
    EXPECT_TRUE(IsFolder(Path(L"work\\inner\\sub")));
    EXPECT_EQ(Files(), std::vector<std::wstring>{Path(L"real\\precious.txt")});
    ASSERT_TRUE(held.Create(L"ONE.EXE", file));
    file.Close();
    EXPECT_TRUE(held.RemoveAllBut({L"one.exe"}));
    EXPECT_FALSE(IsFolder(Path(L"work\\inner\\sub")));
    EXPECT_EQ(Files(), (std::vector<std::wstring>{Path(L"real\\precious.txt"), Path(L"work\\inner\\ONE.EXE")}));
}

TEST_F(ProbesTest, CollectFilesWalksSubfoldersAndAppends) {
    CreateDirectoryW(Path(L"sub").c_str(), nullptr);
    WriteWholeFile(Path(L"sub\\inner.exe"), "x");
    std::vector<std::wstring> files{L"kept"};
    EXPECT_TRUE(CollectFiles(m_folder, files));
    EXPECT_EQ(files, (std::vector<std::wstring>{L"kept", Path(L"sub\\inner.exe")}));

    DeleteFileW(Path(L"sub\\inner.exe").c_str());
    EXPECT_FALSE(CollectFiles(m_folder, files));
    EXPECT_FALSE(CollectFiles(Path(L"missing"), files));
    EXPECT_EQ(files.size(), 2u);
}

TEST_F(ProbesTest, ModulePathAndFileExistence) {
    const std::wstring own = OwnPath();
    EXPECT_EQ(GetModuleFolder() + L"\\" + GetModuleFileTitle(), own);
    EXPECT_EQ(GetModuleFolder().find(L'\\', GetModuleFolder().size() - 1), std::wstring::npos);
    EXPECT_TRUE(FileExists(own));
    EXPECT_TRUE(FileExists(m_folder));
    EXPECT_FALSE(FileExists(Path(L"missing.ini")));
}

}  // namespace
