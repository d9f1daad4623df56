// The download worker's transfer logic against scripted sessions, an in-memory disk and a
// recording window: block sizes, resuming after a broken line, the stall and retry bounds, each
// failure's cleanup and result, and stop requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ScriptedSession.h"
#include "update/engine/logic/DownloadLogic.h"

namespace {

using Log = std::vector<std::wstring>;

const std::wstring kName = L"TALVIX_FULL_240101.exe";
const std::wstring kRemote = L"Software\\TALVIX_FULL_240101.exe";
const std::wstring kLocal = L"c:\\Windows\\Temp\\QVUpdate\\\\TALVIX_FULL_240101.EXE";

// Forwards to the scripted session and records each call in the shared timeline.
std::wstring Wide(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

class RecordingSession : public ISourceSession {
public:
    RecordingSession(std::shared_ptr<SessionScript> script, Log& log) : m_inner(std::move(script)), m_log(log) {}
    bool CanList() const override { return m_inner.CanList(); }
    bool KnowsSizeUpFront() const override { return m_inner.KnowsSizeUpFront(); }
    bool NeedsStatement() const override { return m_inner.NeedsStatement(); }
    void ExpectSize(int64_t size) override { m_inner.ExpectSize(size); }
    SourceFailure LastFailure() const override { return m_inner.LastFailure(); }
    ConnectResult Connect(const SourceConnectionSettings& settings) override {
        m_log.push_back(L"Connect " + settings.host + L":" + std::to_wstring(settings.port) + L" " + settings.user +
                        L" " + settings.password);
        return m_inner.Connect(settings);
    }
    int ListFiles(const std::wstring& folder, std::vector<RemoteEntry>& files, const std::wstring& ext) override {
        m_log.push_back(L"ListFiles");
        return m_inner.ListFiles(folder, files, ext);
    }
    int64_t RemoteFileSize(const std::wstring& path) override {
        m_log.push_back(L"Size");
        return m_inner.RemoteFileSize(path);
    }
    SourceOpen RestartAt(int64_t offset) override {
        m_log.push_back(L"Rest " + std::to_wstring(offset));
        return m_inner.RestartAt(offset);
    }
    SourceOpen OpenFile(const std::wstring& path) override {
        m_log.push_back(L"OpenFile " + path);
        return m_inner.OpenFile(path);
    }
    SourceRead Read(void* buffer, int count, int& got, uint32_t timeoutMs) override {
        const SourceRead result = m_inner.Read(buffer, count, got, timeoutMs);
        m_log.push_back(L"Read " + std::to_wstring(count) + L" -> " +
                        (result == SourceRead::Data ? std::to_wstring(got) : std::wstring(L"fault")));
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
    ScriptedSession m_inner;
    Log& m_log;
};

class MemoryFiles : public ILocalFiles {
public:
    explicit MemoryFiles(Log& log) : m_log(log) {}
    void CreateFolderTree(const std::wstring& folder) override { m_log.push_back(L"MakeFolder " + folder); }
    int64_t FreeSpace(const std::wstring&) override { return freeSpace; }
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
    bool Rewind() override {
        m_log.push_back(L"Rewind");
        disk[m_open].clear();
        return true;
    }
    bool Close() override {
        m_log.push_back(L"Close");
        m_open.clear();
        return !failClose;
    }
    void Delete(const std::wstring& path) override {
        m_log.push_back(L"Delete " + path);
        disk.erase(path);
    }
    int64_t OpenKept(const std::wstring& path, size_t tailBytes, std::vector<unsigned char>& tail) override {
        const auto it = kept.find(path);
        if (it == kept.end()) return 0;
        disk[path] = it->second;
        m_open = path;
        const std::string& bytes = it->second;
        tail.assign(bytes.end() - static_cast<long>(std::min(tailBytes, bytes.size())), bytes.end());
        return static_cast<int64_t>(bytes.size());
    }
    void Abandon(const std::wstring& path, bool sound) override {
        abandoned.push_back(sound);
        ILocalFiles::Abandon(path, sound);
    }

    std::map<std::wstring, std::string> disk;
    std::map<std::wstring, std::string> kept;  // bytes an earlier run kept, by local path
    std::vector<bool> abandoned;               // whether each unfinished file was left sound
    bool failCreate = false;
    bool failClose = false;
    int64_t freeSpace = -1;
    int failWriteNumber = -1;  // index of the write that fails
    int writes = 0;

private:
    Log& m_log;
    std::wstring m_open;
};

class RecordingUi : public IDownloadSink {
public:
    RecordingUi(Log& log, SessionScript& script) : m_log(log), m_script(script) {}
    void Report(const DownloadStatus& s) override {
        const std::wstring item = std::to_wstring(s.item) + L" ";
        switch (s.state) {
        case DownloadState::Connecting: m_log.push_back(L"Connecting " + item); break;
        case DownloadState::Transferring:
            m_log.push_back(L"Transferring " + item + std::to_wstring(s.done) + L"/" + std::to_wstring(s.total));
            percents.push_back(ProgressPercent(s.done, s.total));
            break;
        case DownloadState::Reconnecting:
            m_log.push_back(L"Reconnecting " + item + std::to_wstring(s.attempt) + L" " + Wide(LineFaultName(s.fault)) +
                            L" from " + std::to_wstring(s.resumeFrom));
            break;
        case DownloadState::Completed: m_log.push_back(L"Completed " + item); break;
        }
    }
    uint64_t NowMs() override { return m_script.clockMs; }
    void Sleep(unsigned milliseconds) override {
        m_script.clockMs += milliseconds;
        m_log.push_back(L"Sleep " + std::to_wstring(milliseconds));
    }
    bool StopRequested() override { return stopWhen && stopWhen(); }

    std::vector<float> percents;
    std::function<bool()> stopWhen;

private:
    Log& m_log;
    SessionScript& m_script;
};

std::string Bytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

RemoteEntry Item(const std::wstring& name, int64_t size) {
    RemoteEntry item;
    item.name = name;
    item.size = size;
    return item;
}

struct Rig {
    std::shared_ptr<SessionScript> script = std::make_shared<SessionScript>();
    Log log;
    MemoryFiles files{log};
    RecordingUi ui{log, *script};

    // Serves `content` as the listed setup file and returns its item.
    RemoteEntry Serve(const std::string& content, const std::wstring& name = kName) {
        script->AddFile(L"Software\\" + name, content);
        return Item(name, static_cast<int64_t>(content.size()));
    }

    DownloadResult Run(const std::vector<RemoteEntry>& items, bool sizeUpFront = true,
                       const NextSourceFinder& nextSource = NextSourceFinder()) {
        script->sizeUpFront = sizeUpFront;
        DownloadRequest request{items, L"Software\\", kWorkFolder, UpdateServerSettings(L"127.0.0.1"), {}, {}};
        const SourceSessionFactory factory = [this] { return std::make_unique<RecordingSession>(script, log); };
        return DownloadUpdates(request, factory, files, ui, nextSource);
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

using R = DownloadResult;

TEST(DownloadLogic, ExactMultipleOfTheBlockReadsNoExtraBlock) {
    Rig rig;
    const std::string content = Bytes(2 * kTransferBlockSize);
    EXPECT_EQ(rig.Run({rig.Serve(content)}), R::Completed);
    EXPECT_EQ(rig.files.disk[kLocal], content);
    const Log expected = {
        L"MakeFolder c:\\Windows\\Temp\\QVUpdate\\",
        L"Connecting 0 ",
        L"Connect 127.0.0.1:5301 autoupdater Tor%!&6284fern",
        L"Size",  // asked until the server answers it once
        L"OpenFile " + kRemote,
        L"Create " + kLocal,
        L"Transferring 0 0/61440",
        L"Read 30720 -> 30720",
        L"Write 30720",
        L"Transferring 0 30720/61440",
        L"Sleep 1",
        L"Read 30720 -> 30720",
        L"Write 30720",
        L"Transferring 0 61440/61440",
        L"Sleep 1",
        L"CloseFile",
        L"Disconnect",
        L"Close",
        L"Completed 0 ",
    };
    EXPECT_EQ(rig.log, expected);
    // The session was told the offered size, so a response of another length is refused at once.
    EXPECT_EQ(rig.script->expectedSize, 2 * kTransferBlockSize);

    // An FTP server is asked the size only when it reconnects: the first byte comes as quickly as it did.
    Rig ftp;
    EXPECT_EQ(ftp.Run({ftp.Serve(content)}, false), R::Completed);
    Log withoutSize = expected;
    withoutSize.erase(std::find(withoutSize.begin(), withoutSize.end(), L"Size"));
    EXPECT_EQ(ftp.log, withoutSize);
}

TEST(DownloadLogic, LastBlockRequestsOnlyWhatIsLeftAndAnEmptyFileReadsOnce) {
    Rig rig;
    const std::string content = Bytes(kTransferBlockSize + 100);
    EXPECT_EQ(rig.Run({rig.Serve(content)}), R::Completed);
    EXPECT_EQ(rig.Count(L"Read 30720 -> 30720"), 1);
    EXPECT_EQ(rig.Count(L"Read 100 -> 100"), 1);
    EXPECT_EQ(rig.Count(L"Read"), 2);
    EXPECT_EQ(rig.files.disk[kLocal], content);

    Rig empty;
    EXPECT_EQ(empty.Run({empty.Serve("")}), R::Completed);
    EXPECT_EQ(empty.Count(L"Read"), 1);
    EXPECT_EQ(empty.Count(L"Read 0 -> 0"), 1);
    EXPECT_EQ(empty.Count(L"Write"), 0);
    EXPECT_EQ(empty.ui.percents.back(), 100.0f);
    EXPECT_EQ(empty.files.disk.at(kLocal), "");
}

TEST(DownloadLogic, BrokenLineResumesFromTheBytesOnDisk) {
    const std::string content = Bytes(3 * kTransferBlockSize);
    const std::vector<ScriptedRead> faults = {ScriptedRead::Reset(), ScriptedRead::Fail(), ScriptedRead::Stall()};
    for (const ScriptedRead& fault : faults) {
        SCOPED_TRACE(fault.kind);
        Rig rig;
        const RemoteEntry item = rig.Serve(content);
        // The resumed transfer starts 4096 bytes early; the known bytes come in two reads and are
        // compared, not written again.
        rig.script->readSteps = {ScriptedRead::Data(kTransferBlockSize), ScriptedRead::Data(1000), fault,
                                 ScriptedRead::Data(3000)};
        EXPECT_EQ(rig.Run({item}), R::Completed);
        EXPECT_EQ(rig.files.disk[kLocal], content);
        const Log resume = {L"Rest 27624",
                            L"OpenFile " + kRemote,
                            L"Transferring 0 31720/92160",
                            L"Read 4096 -> 3000",
                            L"Sleep 1",
                            L"Read 1096 -> 1096",
                            L"Sleep 1",
                            L"Read 30720 -> 30720",
                            L"Write 30720"};
        const Log after = rig.From(L"Rest");
        EXPECT_EQ(Log(after.begin(), after.begin() + static_cast<long>(resume.size())), resume);
        EXPECT_EQ(rig.Count(L"Reconnecting 0 1 "), 1);
        EXPECT_EQ(rig.Count(L"Create"), 1);  // the local file stays open across the reconnection
        EXPECT_EQ(rig.Count(L"Rewind"), 0);
        EXPECT_EQ(rig.Count(L"Connect 1"), 2);  // at once: the broken attempt brought new bytes
        EXPECT_EQ(rig.Count(L"Sleep 100"), 0);
        EXPECT_TRUE(std::is_sorted(rig.ui.percents.begin(), rig.ui.percents.end()));  // never back to 0
        // A stall gives the read the whole silence bound, no more.
        if (fault.kind == ScriptedRead::kStall) {
            EXPECT_EQ(rig.Count(L"Reconnecting 0 1 silent from 31720"), 1);
        }
    }

    // A size that a server which told it before cannot tell now (HTTPS: the HEAD is the first
    // contact after reconnecting) is a broken line too: the retry pauses apply, the bytes stay.
    Rig rig;
    const RemoteEntry item = rig.Serve(content);
    rig.script->readSteps = {ScriptedRead::Data(kTransferBlockSize), ScriptedRead::Reset()};
    rig.script->sizeResults = {item.size, -1, -1};
    EXPECT_EQ(rig.Run({item}), R::Completed);
    EXPECT_EQ(rig.files.disk[kLocal], content);
    EXPECT_EQ(rig.Count(L"Rewind"), 0);
    EXPECT_EQ(rig.Count(L"Reconnecting 0 3 reset from 30720"), 1);
    EXPECT_EQ(rig.Count(L"Sleep 100"), 30);  // 1 s, then 2 s
    EXPECT_EQ(rig.Count(L"Rest"), 1);
    EXPECT_EQ(rig.Count(L"Rest 26624"), 1);
}

TEST(DownloadLogic, BytesAnEarlierRunKeptAreGoneOnFromAfterTheirEndIsChecked) {
    const std::string content = Bytes(3 * kTransferBlockSize);
    Rig rig;
    const RemoteEntry item = rig.Serve(content);
    rig.files.kept[kLocal] = content.substr(0, 40000);
    EXPECT_EQ(rig.Run({item}), R::Completed);
    EXPECT_EQ(rig.files.disk[kLocal], content);
    EXPECT_EQ(rig.Count(L"Rest 35904"), 1);  // the overlap before the kept end
    EXPECT_EQ(rig.Count(L"Create"), 0);
    EXPECT_EQ(rig.Count(L"Connecting 0"), 1);

    // Kept bytes whose end is not the server's: the file starts again from its first byte.
    Rig changed;
    changed.Serve(content);
    std::string other = content.substr(0, 40000);
    other[39999] ^= 1;
    changed.files.kept[kLocal] = other;
    EXPECT_EQ(changed.Run({item}), R::Completed);
    EXPECT_EQ(changed.files.disk[kLocal], content);
    EXPECT_EQ(changed.Count(L"Rewind"), 1);

    // A stop or spent retries leave sound bytes to be kept; a failed write does not.
    Rig stopped;
    stopped.Serve(content);
    stopped.files.kept[kLocal] = content.substr(0, 40000);
    stopped.ui.stopWhen = [&] { return stopped.Count(L"Write") == 1; };
    EXPECT_EQ(stopped.Run({item}), R::Stopped);
    EXPECT_EQ(stopped.files.abandoned, std::vector<bool>{true});
    Rig unwritable;
    unwritable.Serve(content);
    unwritable.files.kept[kLocal] = content.substr(0, 40000);
    unwritable.files.failWriteNumber = 0;
    EXPECT_EQ(unwritable.Run({item}), R::WriteFailed);
    EXPECT_EQ(unwritable.files.abandoned, std::vector<bool>{false});
}

TEST(DownloadLogic, FileStartsAgainWhenTheServerCannotResumeIt) {
    const std::string content = Bytes(2 * kTransferBlockSize);
    struct Case {
        const char* what;
        std::function<void(SessionScript&)> arrange;
        int rests;
    };
    const std::vector<Case> cases = {
        {"REST refused", [](SessionScript& s) { s.restart = FtpRestart::Refuse; }, 1},
        {"file changed on the server", [](SessionScript& s) { s.sizes[L"/Software/" + kName] = 5; }, 0},
        // Resuming cannot be confirmed, yet every reconnection goes on.
        {"server never answers SIZE", [](SessionScript& s) { s.sizes[L"/Software/" + kName] = -1; }, 0},
        // REST taken, then the open refused (HTTP: 416 or another range): the next connection opens
        // the file from byte 0 without asking for an offset.
        {"offset refused at the open",
         [](SessionScript& s) {
             s.openResults = {SourceOpen::Done, SourceOpen::Refused};
         },
         1},
        // 350, then the file from byte 0: the overlap bytes are not the ones on disk.
        {"REST ignored", [](SessionScript& s) { s.restart = FtpRestart::Ignore; }, 1},
        // ...even when the data connection is then cut just as the bytes reach the listed size.
        {"REST ignored, cut at the listed size",
         [](SessionScript& s) {
             s.restart = FtpRestart::Ignore;
             s.readSteps.insert(s.readSteps.end(), {ScriptedRead::Data(kTransferBlockSize), ScriptedRead::Data(0)});
         },
         1},
        // The known bytes match, but more follow the listed size.
        {"bytes beyond the listed size",
         [](SessionScript& s) {
             s.files[L"/Software/" + kName] += "more";
             s.sizes[L"/Software/" + kName] = 2 * kTransferBlockSize;
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        const RemoteEntry item = rig.Serve(content);
        rig.script->readSteps = {ScriptedRead::Data(kTransferBlockSize), ScriptedRead::Reset()};
        c.arrange(*rig.script);
        EXPECT_EQ(rig.Run({item}), R::Completed);
        EXPECT_EQ(rig.files.disk[kLocal], content);
        EXPECT_EQ(rig.Count(L"Rest"), c.rests);
        EXPECT_GE(rig.Count(L"Rewind"), 1);
    }
}

// A line cut while the known bytes come back is no sign of an ignored offset: nothing was written,
// so the next attempt asks for the offset again and the bytes on disk are kept.
TEST(DownloadLogic, CutInsideTheOverlapResumesAgain) {
    const std::string content = Bytes(2 * kTransferBlockSize);
    Rig rig;
    const RemoteEntry item = rig.Serve(content);
    rig.script->readSteps = {ScriptedRead::Data(kTransferBlockSize), ScriptedRead::Reset(), ScriptedRead::Data(0)};
    EXPECT_EQ(rig.Run({item}), R::Completed);
    EXPECT_EQ(rig.files.disk[kLocal], content);
    EXPECT_EQ(rig.Count(L"Rest"), 2);
    EXPECT_EQ(rig.Count(L"Rewind"), 0);
}

TEST(DownloadLogic, RetriesWithGrowingPausesThenFailsWithNothingKept) {
    Rig rig;
    const RemoteEntry item = rig.Serve(Bytes(3 * kTransferBlockSize));
    rig.script->readSteps = {ScriptedRead::Data(kTransferBlockSize), ScriptedRead::Reset()};
    using C = ConnectResult;
    rig.script->connectResults = {C::Connected, C::Unreachable, C::Connected, C::Unreachable,
                                  C::Connected};  // then every reconnection reads nothing
    for (int k = 0; k < 4; ++k) rig.script->readSteps.push_back(ScriptedRead::Fail());
    const uint64_t start = rig.script->clockMs;
    EXPECT_EQ(rig.Run({item}), R::ReadFailed);
    // Once at once after new bytes, then after 1, 2, 4 and 8 s; the fifth barren attempt ends it.
    EXPECT_EQ(rig.Count(L"Reconnecting"), 5);
    EXPECT_EQ(rig.Count(L"Reconnecting 0 2 connect-failed from 30720"), 1);
    EXPECT_EQ(rig.Count(L"Reconnecting 0 5 read-failed from 30720"), 1);
    EXPECT_EQ(rig.script->clockMs - start, 1u + 15000u);  // one block pause and the retry pauses
    EXPECT_EQ(rig.Tail(3), (Log{L"Disconnect", L"Close", L"Delete " + kLocal}));
    EXPECT_EQ(rig.files.disk.count(kLocal), 0u);

    // A file shorter than listed ends the same way: every attempt ends early without a new byte.
    Rig shorter;
    RemoteEntry item2 = shorter.Serve(Bytes(4));
    item2.size = 10;
    shorter.script->sizes[L"/Software/" + kName] = 10;  // the server lists and sizes it so
    EXPECT_EQ(shorter.Run({item2}), R::ReadFailed);
    EXPECT_EQ(shorter.Count(L"Reconnecting 0 5 ended-early from 4"), 1);
    // All the bytes on disk lie within the overlap: each attempt reads them again from byte 0.
    EXPECT_EQ(shorter.Count(L"Rest"), 0);
    EXPECT_EQ(shorter.Count(L"Read 4 -> 4"), 5);
    EXPECT_EQ(shorter.files.disk.count(kLocal), 0u);
}

// A source gone for good (its retries spent, or down from the first connection) hands the file to
// the next source that holds it: the bytes on disk stay and that source is asked for the offset.
TEST(DownloadLogic, SourceGoneForGoodHandsTheFileToTheNextThatHoldsIt) {
    const std::string content = Bytes(3 * kTransferBlockSize);
    for (const bool downFromTheStart : {false, true}) {
        SCOPED_TRACE(downFromTheStart);
        Rig rig;
        const RemoteEntry item = rig.Serve(content);
        if (downFromTheStart) {
            rig.script->connectResults.assign(10, ConnectResult::Unreachable);
        } else {
            rig.script->readSteps = {ScriptedRead::Data(kTransferBlockSize), ScriptedRead::Reset()};
            rig.script->connectResults = {ConnectResult::Connected};
            rig.script->connectResults.resize(6, ConnectResult::Unreachable);
        }
        auto mirror = std::make_shared<SessionScript>();
        mirror->AddFile(L"Software\\" + kName, content);
        std::vector<std::wstring> asked;
        const NextSourceFinder next = [&](const std::wstring& name, NextSource& source) {
            asked.push_back(name);
            if (asked.size() > 1) return false;
            source.server.host = L"mirror";
            source.server.port = 443;
            source.newSession = [&rig, mirror] { return std::make_unique<RecordingSession>(mirror, rig.log); };
            return true;
        };
        EXPECT_EQ(rig.Run({item}, false, next), R::Completed);
        EXPECT_EQ(rig.files.disk[kLocal], content);
        EXPECT_EQ(asked, std::vector<std::wstring>{kName});
        const Log after = rig.From(L"Reconnecting 0 1 source-gone");
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(after[0], L"Reconnecting 0 1 source-gone from " + std::to_wstring(downFromTheStart ? 0 : 30720));
        EXPECT_EQ(after[1].compare(0, 19, L"Connect mirror:443 "), 0) << after[1];
        // What the first source told of the file does not count for the next: it is asked its size.
        EXPECT_EQ(after[2], L"Size");
        EXPECT_EQ(rig.Count(L"Rest 26624"), downFromTheStart ? 0 : 1);
        EXPECT_EQ(rig.Count(L"Rewind"), 0);
    }

    // No further source: the download ends as before, nothing kept.
    Rig rig;
    const RemoteEntry item = rig.Serve(content);
    rig.script->connectResults.assign(10, ConnectResult::Unreachable);
    EXPECT_EQ(rig.Run({item}, false, [](const std::wstring&, NextSource&) { return false; }), R::ConnectFailed);
    EXPECT_EQ(rig.files.disk.count(kLocal), 0u);
}

TEST(DownloadLogic, DripBelowTheSlowBoundCountsAsBroken) {
    Rig rig;
    const RemoteEntry item = rig.Serve(Bytes(kTransferBlockSize));
    // 500 bytes every 1 s: above nothing, below 1 KiB/s; the window ends after a minute of it.
    for (int k = 0; k < 61; ++k) rig.script->readSteps.push_back(ScriptedRead::Data(500, 999));
    EXPECT_EQ(rig.Run({item}), R::Completed);
    EXPECT_EQ(rig.Count(L"Reconnecting 0 1 slow from 30000"), 1);
    EXPECT_EQ(rig.files.disk[kLocal], Bytes(kTransferBlockSize));
}

TEST(DownloadLogic, ADripOfOneNewBytePerConnectionFailsTheLine) {
    Rig rig;
    const RemoteEntry item = rig.Serve(Bytes(kTransferBlockSize));
    // The first connection brings 5000 bytes; every later one the resume overlap and one new byte,
    // then silence. Each attempt brings something new, so no retry count ever ends it.
    rig.script->readSteps = {ScriptedRead::Data(5000), ScriptedRead::Stall()};
    for (int k = 0; k < 40; ++k) {
        rig.script->readSteps.push_back(ScriptedRead::Data(4096));
        rig.script->readSteps.push_back(ScriptedRead::Data(1));
        rig.script->readSteps.push_back(ScriptedRead::Stall());
    }
    EXPECT_EQ(rig.Run({item}), R::ReadFailed);
    EXPECT_EQ(rig.files.disk.count(kLocal), 0u);
    // Ended once five minutes of attempts brought too little.
    EXPECT_LE(rig.Count(L"Connect 1"), 12);
    EXPECT_LE(rig.script->clockMs, 340000u);
}

TEST(DownloadLogic, SteadyLineAtTheSlowBoundIsNotBroken) {
    Rig rig;
    const RemoteEntry item = rig.Serve(Bytes(kTransferBlockSize * 3));
    for (int k = 0; k < 90; ++k) rig.script->readSteps.push_back(ScriptedRead::Data(1100, 999));
    EXPECT_EQ(rig.Run({item}), R::Completed);
    EXPECT_EQ(rig.Count(L"Reconnecting"), 0);
}

// Each failure: its cleanup, then its result; nothing is left.
struct FailureCase {
    const char* what;
    std::function<RemoteEntry(Rig&)> arrange;
    R result;
    Log expectedAfterFolder;  // the events after "MakeFolder"
};

TEST(DownloadLogic, EveryFailureCleansUpAndReportsItsResult) {
    const std::wstring open = L"OpenFile " + kRemote;
    const std::wstring connect = L"Connect 127.0.0.1:5301 autoupdater Tor%!&6284fern";
    const Log transferStart = {L"Connecting 0 ", connect, L"Size", open, L"Create " + kLocal, L"Transferring 0 0/10"};
    auto join = [](Log a, const Log& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<FailureCase> cases = {
        {"name not ending in exe",
         [](Rig& r) { return r.Serve(Bytes(10), L"TALVIX_FULL_240101.cif"); },
         R::InvalidFile,
         {}},
        {"upper-case EXE", [](Rig& r) { return r.Serve(Bytes(10), L"TALVIX_FULL_240101.EXE"); }, R::InvalidFile, {}},
        {"name escaping the work folder", [](Rig& r) { return Item(L"..\\..\\evil.exe", 10); }, R::InvalidFile, {}},
        {"reserved device name", [](Rig& r) { return r.Serve(Bytes(10), L"CON.exe"); }, R::InvalidFile, {}},
        {"unknown size", [](Rig& r) { return Item(kName, -1); }, R::InvalidFile, {}},
        {"too little free space",
         [](Rig& r) {
             r.files.freeSpace = 9;
             return r.Serve(Bytes(10));
         },
         R::DiskFull,
         {}},
        {"FTP connection fails",
         [](Rig& r) {
             r.script->connectResults = {ConnectResult::Unreachable};
             return r.Serve(Bytes(10));
         },
         R::ConnectFailed,
         {L"Connecting 0 ", connect, L"Disconnect"}},
        {"no internet session",
         [](Rig& r) {
             r.script->connectResults = {ConnectResult::NoInternet};
             return r.Serve(Bytes(10));
         },
         R::NoInternet,
         {L"Connecting 0 ", connect, L"Disconnect"}},
        {"remote file missing",
         [](Rig& r) { return Item(kName, 10); },
         R::RemoteFileUnopenable,
         {L"Connecting 0 ", connect, L"Size", open, L"CloseFile", L"Disconnect"}},
        {"local file cannot be created",
         [](Rig& r) {
             r.files.failCreate = true;
             return r.Serve(Bytes(10));
         },
         R::LocalFileUnopenable,
         {L"Connecting 0 ", connect, L"Size", open, L"Create " + kLocal, L"CloseFile", L"Disconnect"}},
        {"write fails",
         [](Rig& r) {
             r.files.failWriteNumber = 0;
             return r.Serve(Bytes(10));
         },
         R::WriteFailed,
         join(transferStart,
              {L"Read 10 -> 10", L"Write 10", L"CloseFile", L"Disconnect", L"Close", L"Delete " + kLocal})},
        {"close fails",
         [](Rig& r) {
             r.files.failClose = true;
             return r.Serve(Bytes(10));
         },
         R::WriteFailed,
         join(transferStart, {L"Read 10 -> 10", L"Write 10", L"Transferring 0 10/10", L"Sleep 1", L"CloseFile",
                              L"Disconnect", L"Close", L"Delete " + kLocal})},
        // All four bytes on disk lie within the overlap: the open asks for no offset.
        {"file gone from the server on reconnection",
         [](Rig& r) {
             r.script->readSteps = {ScriptedRead::Data(4), ScriptedRead::Reset()};
             r.script->openResults = {SourceOpen::Done, SourceOpen::Refused};
             return r.Serve(Bytes(10));
         },
         R::RemoteFileUnopenable,
         join(transferStart, {L"Read 10 -> 4", L"Write 4", L"Transferring 0 4/10", L"Sleep 1", L"Read 6 -> fault",
                              L"CloseFile", L"Disconnect", L"Reconnecting 0 1 reset from 4", connect, L"Size", open,
                              L"CloseFile", L"Disconnect", L"Close", L"Delete " + kLocal})},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        const RemoteEntry item = c.arrange(rig);
        EXPECT_EQ(rig.Run({item}), c.result);
        const Log after = rig.From(L"MakeFolder");
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(Log(after.begin() + 1, after.end()), c.expectedAfterFolder);
        EXPECT_EQ(rig.files.disk.count(kLocal), 0u) << "a partial or unsafe file was left";
    }
}

TEST(DownloadLogic, SizesBeyond4GiBCountIn64Bits) {
    Rig rig;
    RemoteEntry item = rig.Serve(Bytes(10));
    item.size = (int64_t{1} << 32) + 10;  // a 32-bit size would wrap to the 10 bytes served
    EXPECT_EQ(rig.Run({item}), R::ReadFailed);
    EXPECT_GE(rig.Count(L"Read 30720 -> 10"), 1);
    EXPECT_GE(rig.Count(L"Transferring 0 10/4294967306"), 1);
    EXPECT_EQ(rig.files.disk.count(kLocal), 0u);
    EXPECT_EQ(ProgressPercent(int64_t{3} << 31, int64_t{1} << 33), 75.0f);
    EXPECT_EQ(ProgressPercent(0, 0), 100.0f);
}

TEST(DownloadLogic, StopRequestEndsAtTheNextBlockOrPauseAndRemovesThePartialFile) {
    Rig rig;
    const RemoteEntry item = rig.Serve(Bytes(5 * kTransferBlockSize));
    rig.ui.stopWhen = [&rig] { return rig.Count(L"Read") >= 2; };
    EXPECT_EQ(rig.Run({item}), R::Stopped);
    EXPECT_EQ(rig.Count(L"Read"), 2);
    EXPECT_EQ(rig.Tail(4), (Log{L"CloseFile", L"Disconnect", L"Close", L"Delete " + kLocal}));
    EXPECT_EQ(rig.files.disk.count(kLocal), 0u);

    Rig pausing;
    const RemoteEntry again = pausing.Serve(Bytes(10));
    pausing.script->readSteps = {ScriptedRead::Fail()};
    pausing.ui.stopWhen = [&pausing] { return pausing.Count(L"Sleep 100") == 3; };
    EXPECT_EQ(pausing.Run({again}), R::Stopped);
    EXPECT_EQ(pausing.Count(L"Connect 1"), 1);
    EXPECT_EQ(pausing.files.disk.count(kLocal), 0u);
}

TEST(DownloadLogic, StopRequestBeforeAnItemStartsNothing) {
    Rig rig;
    const RemoteEntry first = rig.Serve(Bytes(10), L"A_FULL_240101.exe");
    const RemoteEntry second = rig.Serve(Bytes(10), L"B_APP_240101.exe");
    rig.ui.stopWhen = [&rig] { return rig.Count(L"Completed 0") == 1; };
    EXPECT_EQ(rig.Run({first, second}), R::Stopped);
    EXPECT_EQ(rig.Count(L"Connect 1"), 1);
    EXPECT_EQ(rig.Count(L"Completed 1"), 0);
}

TEST(DownloadLogic, EachItemHasItsOwnSessionAndLocalFile) {
    Rig rig;
    const std::string a = Bytes(50000), b = Bytes(7);
    const RemoteEntry first = rig.Serve(a, L"A_FULL_240101.exe");
    const RemoteEntry second = rig.Serve(b, L"b_app_240101.exe");
    EXPECT_EQ(rig.Run({first, second}), R::Completed);
    EXPECT_EQ(rig.Count(L"Connect 1"), 2);
    EXPECT_EQ(rig.Count(L"Disconnect"), 2);
    EXPECT_EQ(rig.Count(L"Completed 0"), 1);
    EXPECT_EQ(rig.Count(L"Completed 1"), 1);
    EXPECT_EQ(rig.files.disk[L"c:\\Windows\\Temp\\QVUpdate\\\\A_FULL_240101.EXE"], a);
    EXPECT_EQ(rig.files.disk[L"c:\\Windows\\Temp\\QVUpdate\\\\B_APP_240101.EXE"], b);
}

TEST(DownloadLogic, FailureOfALaterItemKeepsTheEarlierFile) {
    Rig rig;
    const RemoteEntry first = rig.Serve(Bytes(10), L"A_FULL_240101.exe");
    const RemoteEntry second = Item(L"B_APP_240101.exe", 10);  // not on the server
    EXPECT_EQ(rig.Run({first, second}), R::RemoteFileUnopenable);
    EXPECT_EQ(rig.files.disk.count(L"c:\\Windows\\Temp\\QVUpdate\\\\A_FULL_240101.EXE"), 1u);
}

TEST(DownloadLogic, RemotePathKeepsTheListedSpellingLocalNameIsUpperCase) {
    EXPECT_EQ(LocalNameOf(L"talvix_Full_240101.cif.exe"), L"TALVIX_FULL_240101.EXE.EXE");
    EXPECT_EQ(LocalNameOf(L"a.Cif.cif.exe"), L"A.EXE.EXE.EXE");
    // One rule for the catalogue, the worker and the hand-off.
    EXPECT_TRUE(IsSetupProgramName(L"setup.exe"));
    EXPECT_FALSE(IsSetupProgramName(L"setup.exe1"));
    EXPECT_FALSE(IsSetupProgramName(L"setup.EXE"));
    EXPECT_FALSE(IsSetupProgramName(L"setup.exe.cif"));
    EXPECT_FALSE(IsSetupProgramName(L"setup.ex"));
    EXPECT_FALSE(IsSetupProgramName(L"a_exec"));
    EXPECT_TRUE(IsSavedSetupProgram(LocalNameOf(L"x_full_240101.exe")));
    EXPECT_FALSE(IsSavedSetupProgram(L"SETUPEXE"));

    Rig rig;
    EXPECT_EQ(rig.Run({rig.Serve(Bytes(10), L"talvix_Full_240101.cif.exe")}), R::Completed);
    EXPECT_EQ(rig.Count(L"OpenFile Software\\talvix_Full_240101.cif.exe"), 1);
    EXPECT_EQ(rig.Count(L"Create c:\\Windows\\Temp\\QVUpdate\\\\TALVIX_FULL_240101.EXE.EXE"), 1);
}

}  // namespace
