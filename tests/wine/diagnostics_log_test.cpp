// The diagnostics log's writer: two copies of a program appending at once across a rotation, the
// lines still queued when a program ends, a link in place of the log, and the platform's texts for
// error codes.
#include "system/DiagnosticsLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace {

const wchar_t kSecondWriterVariable[] = L"QV_LOG_SECOND_WRITER";
// Two writers of this many lines of about 160 bytes pass the 1 MiB limit once, not twice.
constexpr int kLinesEach = 3500;
const std::string kPad(100, 'x');

// The last lines are left queued: the process's end writes them.
void WriteLines(const char* writer) {
    for (int i = 0; i < kLinesEach; ++i) {
        LogEvent("test.line", {{"writer", writer}, {"n", i}, {"pad", kPad}});
        if (i % 500 == 499 && i + 1 < kLinesEach) FlushLog(30000);  // stays far below the queue's bound
    }
}

// Started again as the second writer, this program writes its lines and ends, as a program ends,
// before any test runs.
const bool g_secondWriter = [] {
    if (::GetEnvironmentVariableW(kSecondWriterVariable, nullptr, 0) == 0) return false;
    WriteLines("second");
    std::exit(0);
}();

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void RemoveLogs() {
    ::DeleteFileW(LogFilePath().c_str());
    ::DeleteFileW((LogFolder() + L"\\QuorvelDownloader.1.log").c_str());
}

TEST(DiagnosticsLog, TwoCopiesAppendWholeLinesAcrossARotation) {
    ASSERT_FALSE(LogFolder().empty());
    RemoveLogs();
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring command = L"\"" + std::wstring(self) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION second{};
    ::SetEnvironmentVariableW(kSecondWriterVariable, L"1");
    const BOOL started =
        ::CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &second);
    ::SetEnvironmentVariableW(kSecondWriterVariable, nullptr);
    ASSERT_TRUE(started);
    WriteLines("first");
    FlushLog(30000);
    EXPECT_EQ(::WaitForSingleObject(second.hProcess, 120000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(second.hProcess, &code);
    ::CloseHandle(second.hThread);
    ::CloseHandle(second.hProcess);
    EXPECT_EQ(code, 0u);

    const std::string older = ReadFile(LogFolder() + L"\\QuorvelDownloader.1.log");
    const std::string newer = ReadFile(LogFilePath());
    EXPECT_FALSE(older.empty());  // rotated once
    EXPECT_LE(older.size(), kLogRotateBytes);
    // Every line whole, and each writer's lines all there, in their order.
    const std::regex whole(
        "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z \\d+ test\\.line writer=(first|second) "
        "n=(\\d+) pad=" +
        kPad);
    std::map<std::string, int> next{{"first", 0}, {"second", 0}};
    std::istringstream lines(older + newer);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
        EXPECT_EQ(std::stoi(match[2]), next[match[1]]++) << line;
    }
    EXPECT_EQ(next["first"], kLinesEach);
    EXPECT_EQ(next["second"], kLinesEach);
    RemoveLogs();
}

TEST(DiagnosticsLog, ALinkInPlaceOfTheLogIsNeitherFollowedNorReplaced) {
    ::CreateDirectoryW(LogFolder().c_str(), nullptr);
    RemoveLogs();
    const std::wstring decoy = LogFolder() + L"\\decoy.txt";
    { std::ofstream(std::string(decoy.begin(), decoy.end()), std::ios::binary) << "decoy"; }
    const DWORD allowUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (!::CreateSymbolicLinkW(LogFilePath().c_str(), decoy.c_str(), allowUnprivileged))
        ::CreateSymbolicLinkW(LogFilePath().c_str(), decoy.c_str(), 0);
    const DWORD attributes = ::GetFileAttributesW(LogFilePath().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ::DeleteFileW(LogFilePath().c_str());
        ::DeleteFileW(decoy.c_str());
        GTEST_SKIP() << "this system makes no symbolic link that it names a link";
    }
    LogEvent("test.through_link");
    ASSERT_TRUE(FlushLog(30000));
    EXPECT_EQ(ReadFile(decoy), "decoy");
    EXPECT_NE(::GetFileAttributesW(LogFilePath().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    // Once the link is gone, the log is written again.
    ::DeleteFileW(LogFilePath().c_str());
    ::DeleteFileW(decoy.c_str());
    LogEvent("test.after_link");
    ASSERT_TRUE(FlushLog(30000));
    EXPECT_NE(ReadFile(LogFilePath()).find(" test.after_link\n"), std::string::npos);
    RemoveLogs();
}

TEST(DiagnosticsLog, ErrorCodesComeWithThePlatformsTextWhereItHasOne) {
    const std::wstring text = PlatformErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'\n');
    EXPECT_TRUE(PlatformErrorText(0x2F7A1234).empty());
}

}  // namespace
