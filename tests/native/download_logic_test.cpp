// The download worker's transfer logic against scripted sessions, an in-memory disk and a
// recording dialog: block sizes, restarts after resets, each failure's cleanup and notice,
// progress coalescing and stop requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ScriptedFtpSession.h"
#include "update/logic/DownloadLogic.h"

namespace {

using Log = std::vector<std::wstring>;

const std::wstring kName = L"TALVIX_FULL_240101.exe";
const std::wstring kRemote = L"Software\\TALVIX_FULL_240101.exe";
const std::wstring kLocal = L"c:\\Windows\\Temp\\QVUpdate\\\\TALVIX_FULL_240101.EXE";

// Forwards to the scripted session and records each call in the shared timeline.
class RecordingSession : public IFtpSession {
public:
    RecordingSession(std::shared_ptr<FtpScript> script, Log& log) : m_inner(std::move(script)), m_log(log) {}
    int Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port) override {
        m_log.push_back(L"Connect " + server + L":" + std::to_wstring(port) + L" " + user + L" " + password);
        return m_inner.Connect(server, user, password, port);
    }
    int ListFiles(const std::wstring& folder, std::vector<FTP_FILE_INFO>& files, const std::wstring& ext) override {
        m_log.push_back(L"ListFiles");
        return m_inner.ListFiles(folder, files, ext);
    }
    int OpenFile(const std::wstring& path) override {
        m_log.push_back(L"OpenFile " + path);
        return m_inner.OpenFile(path);
    }
    int Read(void* buffer, int count) override {
        const int result = m_inner.Read(buffer, count);
        m_log.push_back(L"Read " + std::to_wstring(count) + L" -> " + std::to_wstring(result));
        return result;
    }
    int CloseFile() override {
        m_log.push_back(L"CloseFile");
        return m_inner.CloseFile();
    }
    void Disconnect() override {
        m_log.push_back(L"Disconnect");
        m_inner.Disconnect();
    }
    std::wstring LastError() const override { return m_inner.LastError(); }

private:
    ScriptedFtpSession m_inner;
    Log& m_log;
};

class MemoryFiles : public ILocalFiles {
public:
    explicit MemoryFiles(Log& log) : m_log(log) {}
    void CreateFolderTree(const std::wstring& folder) override { m_log.push_back(L"MakeFolder " + folder); }
    bool Create(const std::wstring& path) override {
        m_log.push_back(L"Create " + path);
        if (failCreate) return false;
        disk[path].clear();
        m_open = path;
        return true;
    }
    bool Write(const unsigned char* data, int count) override {
        m_log.push_back(L"Write " + std::to_wstring(count));
        if (writes++ == failWriteNumber || m_open.empty()) return false;
        disk[m_open].append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
        return true;
    }
    void Close() override {
        m_log.push_back(L"Close");
        m_open.clear();
    }
    void Delete(const std::wstring& path) override {
        m_log.push_back(L"Delete " + path);
        disk.erase(path);
    }

    std::map<std::wstring, std::string> disk;
    bool failCreate = false;
    int failWriteNumber = -1;  // index of the write that fails
    int writes = 0;

private:
    Log& m_log;
    std::wstring m_open;
};

class RecordingUi : public IDownloadSink {
public:
    explicit RecordingUi(Log& log) : m_log(log) {}
    void ShowProgress(int row, const std::wstring& text) override { Status(row, text); }
    void ShowRowState(int row, const std::wstring& text) override { Status(row, text); }
    void ShowBanner(const std::wstring& text) override { m_log.push_back(L"Banner " + text); }
    void Failed(const std::wstring& first, const std::wstring& second) override {
        m_log.push_back(L"Notice " + first + L"|" + second);
    }
    void Sleep(unsigned milliseconds) override { m_log.push_back(L"Sleep " + std::to_wstring(milliseconds)); }
    void FinalPause(unsigned milliseconds) override { m_log.push_back(L"FinalPause " + std::to_wstring(milliseconds)); }
    bool StopRequested() override { return stopWhen && stopWhen(); }

    std::vector<std::wstring> statuses;
    std::function<bool()> stopWhen;

private:
    void Status(int row, const std::wstring& text) {
        m_log.push_back(L"Status " + std::to_wstring(row) + L" " + text);
        statuses.push_back(text);
    }
    Log& m_log;
};

std::string Bytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

UPDATE_ITEM Item(const std::wstring& name, int32_t size, int32_t row = 0) {
    UPDATE_ITEM item;
    item.SetName(name);
    item.dwFileSize = size;
    item.nListRow = row;
    return item;
}

// Texts "#k", except the progress format and "Completed", which the assertions read as such.
std::vector<std::wstring> Texts() {
    std::vector<std::wstring> texts;
    for (int k = 0; k < 32; ++k) texts.push_back(L"#" + std::to_wstring(k));
    texts[2] = L"Completed";
    texts[26] = L" %.0f / 100[%%]";
    return texts;
}

struct Rig {
    std::shared_ptr<FtpScript> script = std::make_shared<FtpScript>();
    Log log;
    MemoryFiles files{log};
    RecordingUi ui{log};
    std::vector<std::wstring> texts = Texts();

    // Serves `content` as the listed setup file and returns its item.
    UPDATE_ITEM Serve(const std::string& content, const std::wstring& name = kName, int32_t row = 0) {
        script->AddFile(L"Software\\" + name, content);
        return Item(name, static_cast<int32_t>(content.size()), row);
    }

    int Run(const std::vector<UPDATE_ITEM>& items) {
        DownloadRequest request{items, L"Software\\", kWorkFolder, UpdateServerSettings(L"127.0.0.1")};
        const FtpSessionFactory factory = [this] { return std::make_unique<RecordingSession>(script, log); };
        return DownloadUpdates(request, texts, factory, files, ui);
    }

    int Count(const std::wstring& prefix) const {
        return static_cast<int>(std::count_if(
            log.begin(), log.end(), [&](const std::wstring& e) { return e.compare(0, prefix.size(), prefix) == 0; }));
    }

    // The events from the first one starting with `prefix` (the whole log when none does).
    Log From(const std::wstring& prefix) const {
        auto it = std::find_if(log.begin(), log.end(),
                               [&](const std::wstring& e) { return e.compare(0, prefix.size(), prefix) == 0; });
        return Log(it == log.end() ? log.begin() : it, log.end());
    }

    Log Tail(size_t n) const { return Log(log.end() - static_cast<long>(std::min(n, log.size())), log.end()); }
};

TEST(DownloadLogic, ExactMultipleOfTheBlockReadsNoExtraBlock) {
    Rig rig;
    const std::string content = Bytes(2 * kTransferBlockSize);
    EXPECT_EQ(rig.Run({rig.Serve(content)}), 1);
    EXPECT_EQ(rig.files.disk[kLocal], content);
    const Log expected = {
        L"MakeFolder c:\\Windows\\Temp\\QVUpdate\\",
        L"Connect 127.0.0.1:5301 autoupdater Tor%!&6284fern",
        L"OpenFile " + kRemote,
        L"Create " + kLocal,
        L"Banner #17",
        L"Read 30720 -> 30720",
        L"Write 30720",
        L"Status 0  50 / 100[%]",
        L"Sleep 1",
        L"Read 30720 -> 30720",
        L"Write 30720",
        L"Status 0  100 / 100[%]",
        L"Sleep 1",
        L"CloseFile",
        L"Disconnect",
        L"Close",
        L"Status 0 Completed",
        L"Banner #21",
        L"FinalPause 500",
    };
    EXPECT_EQ(rig.log, expected);
}

TEST(DownloadLogic, LastBlockRequestsOnlyWhatIsLeft) {
    Rig rig;
    const std::string content = Bytes(kTransferBlockSize + 100);
    EXPECT_EQ(rig.Run({rig.Serve(content)}), 1);
    EXPECT_EQ(rig.Count(L"Read 30720 -> 30720"), 1);
    EXPECT_EQ(rig.Count(L"Read 100 -> 100"), 1);
    EXPECT_EQ(rig.Count(L"Read"), 2);
    EXPECT_EQ(rig.files.disk[kLocal], content);
}

TEST(DownloadLogic, EmptyFileReadsOnceWritesNothingAndCompletes) {
    Rig rig;
    EXPECT_EQ(rig.Run({rig.Serve("")}), 1);
    EXPECT_EQ(rig.Count(L"Read"), 1);
    EXPECT_EQ(rig.Count(L"Read 0 -> 0"), 1);
    EXPECT_EQ(rig.Count(L"Write"), 0);
    EXPECT_EQ(rig.ui.statuses, (std::vector<std::wstring>{L" 100 / 100[%]", L"Completed"}));
    ASSERT_EQ(rig.files.disk.count(kLocal), 1u);
    EXPECT_EQ(rig.files.disk[kLocal], "");
}

TEST(DownloadLogic, ResetMidFileStartsAgainFromTheFirstByte) {
    Rig rig;
    const std::string content = Bytes(3 * kTransferBlockSize);
    const UPDATE_ITEM item = rig.Serve(content);
    rig.script->readSteps = {FtpReadStep::Data(kTransferBlockSize), FtpReadStep::Data(kTransferBlockSize),
                             FtpReadStep::Reset()};
    EXPECT_EQ(rig.Run({item}), 1);
    EXPECT_EQ(rig.files.disk[kLocal], content);
    EXPECT_EQ(rig.ui.statuses, (std::vector<std::wstring>{L" 33 / 100[%]", L" 67 / 100[%]", L" 33 / 100[%]",
                                                          L" 67 / 100[%]", L" 100 / 100[%]", L"Completed"}));
    const Log restart = {
        L"Read 30720 -> -12031", L"Close",      L"CloseFile",           L"Delete " + kLocal, L"OpenFile " + kRemote,
        L"Create " + kLocal,     L"Banner #17", L"Read 30720 -> 30720",
    };
    const Log after = rig.From(L"Read 30720 -> -12031");
    ASSERT_GE(after.size(), restart.size());
    EXPECT_EQ(Log(after.begin(), after.begin() + static_cast<long>(restart.size())), restart);
    EXPECT_EQ(rig.Count(L"Connect"), 1);  // the session itself reconnected
}

TEST(DownloadLogic, ResetWhileOpeningOpensAgain) {
    Rig rig;
    const UPDATE_ITEM item = rig.Serve(Bytes(10));
    rig.script->openResults = {kFtpReconnected, kFtpReconnected};
    EXPECT_EQ(rig.Run({item}), 1);
    EXPECT_EQ(rig.Count(L"OpenFile"), 3);
    EXPECT_EQ(rig.Count(L"Create"), 1);
}

// Each failure: its cleanup, then the dialog back to the user, then the notice; nothing is left.
struct FailureCase {
    const char* what;
    std::function<UPDATE_ITEM(Rig&)> arrange;
    Log expectedAfterFolder;  // the events after "MakeFolder"
};

TEST(DownloadLogic, EveryFailureCleansUpAndShowsItsNotice) {
    const std::wstring open = L"OpenFile " + kRemote;
    const std::wstring connect = L"Connect 127.0.0.1:5301 autoupdater Tor%!&6284fern";
    const Log transferStart = {connect, open, L"Create " + kLocal, L"Banner #17"};
    auto join = [](Log a, const Log& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<FailureCase> cases = {
        {"name not ending in exe",
         [](Rig& r) { return r.Serve(Bytes(10), L"TALVIX_FULL_240101.cif"); },
         {L"Notice #13|#14"}},
        {"upper-case EXE", [](Rig& r) { return r.Serve(Bytes(10), L"TALVIX_FULL_240101.EXE"); }, {L"Notice #13|#14"}},
        {"name escaping the work folder", [](Rig& r) { return Item(L"..\\..\\evil.exe", 10); }, {L"Notice #13|#14"}},
        {"reserved device name", [](Rig& r) { return r.Serve(Bytes(10), L"CON.exe"); }, {L"Notice #13|#14"}},
        {"listed size of 2 GiB or more", [](Rig& r) { return Item(kName, -2147483647 - 1); }, {L"Notice #13|#14"}},
        {"FTP connection fails",
         [](Rig& r) {
             r.script->connectResults = {0};
             return r.Serve(Bytes(10));
         },
         {connect, L"Disconnect", L"Notice #15|#14"}},
        {"no internet session",
         [](Rig& r) {
             r.script->connectResults = {-1};
             return r.Serve(Bytes(10));
         },
         {connect, L"Disconnect"}},
        {"remote file missing", [](Rig& r) { return Item(kName, 10); }, {connect, open, L"Disconnect", L"Notice #16|"}},
        {"local file cannot be created",
         [](Rig& r) {
             r.files.failCreate = true;
             return r.Serve(Bytes(10));
         },
         {connect, open, L"Create " + kLocal, L"CloseFile", L"Disconnect", L"Notice #29|"}},
        {"read fails",
         [](Rig& r) {
             r.script->readSteps = {FtpReadStep::Fail()};
             return r.Serve(Bytes(10));
         },
         join(transferStart,
              {L"Read 10 -> -1", L"Close", L"CloseFile", L"Disconnect", L"Delete " + kLocal, L"Notice #19|#10"})},
        {"reconnection after a reset fails",
         [](Rig& r) {
             r.script->readSteps = {FtpReadStep::Data(4), FtpReadStep::ResetUnrecovered()};
             return r.Serve(Bytes(10));
         },
         join(transferStart, {L"Read 10 -> 4", L"Write 4", L"Status 0  40 / 100[%]", L"Sleep 1", L"Read 6 -> -1",
                              L"Close", L"CloseFile", L"Disconnect", L"Delete " + kLocal, L"Notice #19|#10"})},
        {"server file shorter than listed",
         [](Rig& r) {
             UPDATE_ITEM item = r.Serve(Bytes(40000));
             item.dwFileSize = 100000;
             return item;
         },
         join(transferStart,
              {L"Read 30720 -> 30720", L"Write 30720", L"Status 0  31 / 100[%]", L"Sleep 1", L"Read 30720 -> 9280",
               L"Write 9280", L"Status 0  40 / 100[%]", L"Sleep 1", L"Read 30720 -> 0", L"Close", L"CloseFile",
               L"Disconnect", L"Delete " + kLocal, L"Notice #19|#10"})},
        {"write fails",
         [](Rig& r) {
             r.files.failWriteNumber = 0;
             return r.Serve(Bytes(10));
         },
         join(transferStart, {L"Read 10 -> 10", L"Write 10", L"Close", L"CloseFile", L"Disconnect", L"Delete " + kLocal,
                              L"Notice #20|"})},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        const UPDATE_ITEM item = c.arrange(rig);
        EXPECT_EQ(rig.Run({item}), 0);
        const Log after = rig.From(L"MakeFolder");
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(Log(after.begin() + 1, after.end()), c.expectedAfterFolder);
        EXPECT_EQ(rig.files.disk.count(kLocal), 0u) << "a partial or unsafe file was left";
    }
}

TEST(DownloadLogic, ListedSizeNear2GiBDoesNotOverflow) {
    Rig rig;
    UPDATE_ITEM item = rig.Serve(Bytes(10));
    item.dwFileSize = 2147483647;
    EXPECT_EQ(rig.Run({item}), 0);
    EXPECT_EQ(rig.Count(L"Read 30720 -> 10"), 1);
    EXPECT_EQ(rig.Count(L"Read 30720 -> 0"), 1);
    EXPECT_EQ(rig.Count(L"Notice #19|#10"), 1);
    EXPECT_EQ(rig.files.disk.count(kLocal), 0u);
}

TEST(DownloadLogic, ProgressIsShownOnlyWhenItsTextChanges) {
    Rig rig;
    const int blocks = 200;
    EXPECT_EQ(rig.Run({rig.Serve(Bytes(static_cast<size_t>(blocks) * kTransferBlockSize))}), 1);
    EXPECT_EQ(rig.Count(L"Read"), blocks);
    EXPECT_EQ(rig.Count(L"Sleep 1"), blocks);
    ASSERT_EQ(rig.ui.statuses.size(), 102u);  // 0 to 100 once each, then "Completed"
    EXPECT_EQ(rig.ui.statuses.front(), L" 0 / 100[%]");
    EXPECT_EQ(rig.ui.statuses[100], L" 100 / 100[%]");
    EXPECT_EQ(rig.ui.statuses.back(), L"Completed");
    for (size_t i = 1; i < rig.ui.statuses.size(); ++i) EXPECT_NE(rig.ui.statuses[i], rig.ui.statuses[i - 1]);
}

TEST(DownloadLogic, KoreanProgressFormatEndsInAPercentSign) {
    Rig rig;
    rig.texts[26] = L"\xC9C4\xD589\xC911..%.0f%s";
    EXPECT_EQ(rig.Run({rig.Serve(Bytes(4 * kTransferBlockSize))}), 1);
    EXPECT_EQ(rig.ui.statuses.front(), L"\xC9C4\xD589\xC911..25%");
    EXPECT_EQ(rig.ui.statuses[3], L"\xC9C4\xD589\xC911..100%");
}

TEST(DownloadLogic, StopRequestEndsAtTheNextBlockAndRemovesThePartialFile) {
    Rig rig;
    const UPDATE_ITEM item = rig.Serve(Bytes(5 * kTransferBlockSize));
    rig.ui.stopWhen = [&rig] { return rig.Count(L"Read") >= 2; };
    EXPECT_EQ(rig.Run({item}), 0);
    EXPECT_EQ(rig.Count(L"Read"), 2);
    EXPECT_EQ(rig.Tail(4), (Log{L"Close", L"CloseFile", L"Disconnect", L"Delete " + kLocal}));
    EXPECT_EQ(rig.Count(L"Notice"), 0);
    EXPECT_EQ(rig.files.disk.count(kLocal), 0u);
}

TEST(DownloadLogic, StopRequestBeforeAnItemStartsNothing) {
    Rig rig;
    const UPDATE_ITEM first = rig.Serve(Bytes(10), L"A_FULL_240101.exe", 0);
    const UPDATE_ITEM second = rig.Serve(Bytes(10), L"B_APP_240101.exe", 1);
    rig.ui.stopWhen = [&rig] { return rig.Count(L"Status 0 Completed") == 1; };
    EXPECT_EQ(rig.Run({first, second}), 0);
    EXPECT_EQ(rig.Count(L"Connect"), 1);
    EXPECT_EQ(rig.Count(L"Notice"), 0);
    EXPECT_EQ(rig.Count(L"FinalPause 500"), 0);
}

TEST(DownloadLogic, EachItemHasItsOwnSessionRowAndLocalFile) {
    Rig rig;
    const std::string a = Bytes(50000), b = Bytes(7);
    const UPDATE_ITEM first = rig.Serve(a, L"A_FULL_240101.exe", 0);
    const UPDATE_ITEM second = rig.Serve(b, L"b_app_240101.exe", 1);
    EXPECT_EQ(rig.Run({first, second}), 1);
    EXPECT_EQ(rig.Count(L"Connect"), 2);
    EXPECT_EQ(rig.Count(L"Disconnect"), 2);
    EXPECT_EQ(rig.Count(L"Status 0 Completed"), 1);
    EXPECT_EQ(rig.Count(L"Status 1 Completed"), 1);
    EXPECT_EQ(rig.Count(L"FinalPause 500"), 1);
    EXPECT_EQ(rig.files.disk[L"c:\\Windows\\Temp\\QVUpdate\\\\A_FULL_240101.EXE"], a);
    EXPECT_EQ(rig.files.disk[L"c:\\Windows\\Temp\\QVUpdate\\\\B_APP_240101.EXE"], b);
}

TEST(DownloadLogic, FailureOfALaterItemKeepsTheEarlierFile) {
    Rig rig;
    const UPDATE_ITEM first = rig.Serve(Bytes(10), L"A_FULL_240101.exe", 0);
    const UPDATE_ITEM second = Item(L"B_APP_240101.exe", 10, 1);  // not on the server
    EXPECT_EQ(rig.Run({first, second}), 0);
    EXPECT_EQ(rig.files.disk.count(L"c:\\Windows\\Temp\\QVUpdate\\\\A_FULL_240101.EXE"), 1u);
    EXPECT_EQ(rig.Tail(1), (Log{L"Notice #16|"}));
}

TEST(DownloadLogic, RemotePathKeepsTheListedSpellingLocalNameIsUpperCase) {
    EXPECT_EQ(LocalNameOf(L"talvix_Full_240101.cif.exe"), L"TALVIX_FULL_240101.EXE.EXE");
    EXPECT_EQ(LocalNameOf(L"a.Cif.cif.exe"), L"A.EXE.EXE.EXE");
    EXPECT_TRUE(HasSetupExtension(L"setup.exe"));
    EXPECT_TRUE(HasSetupExtension(L"setup.exe1"));  // three characters after the last "."
    EXPECT_FALSE(HasSetupExtension(L"setup.EXE"));
    EXPECT_FALSE(HasSetupExtension(L"setup.exe.cif"));
    EXPECT_FALSE(HasSetupExtension(L"setup.ex"));

    Rig rig;
    EXPECT_EQ(rig.Run({rig.Serve(Bytes(10), L"talvix_Full_240101.cif.exe")}), 1);
    EXPECT_EQ(rig.Count(L"OpenFile Software\\talvix_Full_240101.cif.exe"), 1);
    EXPECT_EQ(rig.Count(L"Create c:\\Windows\\Temp\\QVUpdate\\\\TALVIX_FULL_240101.EXE.EXE"), 1);
}

}  // namespace
