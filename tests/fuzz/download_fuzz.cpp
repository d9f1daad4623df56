// Fuzzes the transfer logic with a scripted road: every connect, SIZE, REST, open, read, file
// creation and write takes its outcome from the input, in the order the worker asks. The server
// holds a file of the listed size or of another, answers SIZE truly or not, honours or ignores
// REST; a read can return the bytes asked for, fewer, more than asked, a reset, a failure or a
// time-out. Once the script runs out every connection fails, so a run always ends. Whatever the
// road, a file kept on disk holds exactly the server's bytes of the listed size. A size the server
// told for the item and then cannot tell ends the attempt with the bytes on disk kept; an open
// refused at an offset is followed by one from byte 0, and only one refused at byte 0 fails the item.
// A source gone for good may hand the item to one of two further sources holding the same file,
// when the input offers them; what the first told of the file does not count there.
//
// Input: the item count, each item (name choice, size choice), the call count after which the
// program asks the worker to stop (0: never), then the script.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "update/engine/logic/DownloadLogic.h"

namespace {

const std::wstring kServerFolder = L"Software\\";
const std::wstring kWork(kWorkFolder);

// The server's byte at each offset is a hash of the offset, so the test can tell which bytes of the
// file a write carries, and no stretch of the file repeats another: bytes sent from the wrong offset
// never pass for the right ones.
unsigned char ContentAt(int64_t offset) {
    uint64_t x = static_cast<uint64_t>(offset) + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<unsigned char>(x ^ (x >> 31));
}

bool IsContentAt(int64_t offset, const unsigned char* data, int count) {
    for (int i = 0; i < count; ++i)
        if (data[i] != ContentAt(offset + i)) return false;
    return true;
}

struct Road {
    explicit Road(FuzzInput& input) : in(input) {}
    FuzzInput& in;
    int sessionsMade = 0;
    int sessionsDisconnected = 0;
    int64_t serverSize = 0;  // the size of the item's file on the server
    uint64_t clockMs = 0;
    // The item's rules of resuming.
    bool sizeUpFront = true;       // the source in use is asked SIZE before the first byte too
    bool sizeTold = false;         // SIZE has answered for this item
    bool sizeLost = false;         // ...and this connection's SIZE could not: the attempt is over
    bool refusedAtOffset = false;  // the last refused open had asked for an offset
    bool mustStartOver = false;    // the next open asks for no offset
};

class ScriptSession : public ISourceSession {
public:
    explicit ScriptSession(Road& road) : m_road(road) { ++m_road.sessionsMade; }
    ~ScriptSession() override { FUZZ_CHECK(!m_connected); }

    bool CanList() const override { return true; }
    bool KnowsSizeUpFront() const override { return m_road.sizeUpFront; }
    bool NeedsStatement() const override { return false; }
    SourceFailure LastFailure() const override { return SourceFailure::None; }

    ConnectResult Connect(const SourceConnectionSettings&) override {
        FUZZ_CHECK(!m_connected && !m_disconnected);
        ConnectResult result;
        switch (m_road.in.Empty() ? 2 : m_road.in.U8() % 4) {
        case 0:
        case 1: result = ConnectResult::Connected; break;
        case 2: result = ConnectResult::Unreachable; break;
        default: result = ConnectResult::NoInternet; break;
        }
        m_connected = result == ConnectResult::Connected;
        m_road.sizeLost = false;
        return result;
    }
    int ListFiles(const std::wstring&, std::vector<RemoteEntry>&, const std::wstring&) override {
        FUZZ_CHECK(false);  // the worker never lists
        return kSessionError;
    }
    int64_t RemoteFileSize(const std::wstring& path) override {
        FUZZ_CHECK(path == expectedPath && m_connected && !m_open && !m_road.sizeLost);
        int64_t size = -1;
        if (!m_road.in.Empty()) {
            switch (m_road.in.U8() % 4) {
            case 0:
            case 1: size = m_road.serverSize; break;
            case 2: break;
            default: size = m_road.in.I32(); break;
            }
        }
        m_road.sizeLost = size < 0 && m_road.sizeTold;
        m_road.sizeTold = m_road.sizeTold || size >= 0;
        return size;
    }
    SourceOpen RestartAt(int64_t offset) override {
        FUZZ_CHECK(m_connected && !m_open);
        FUZZ_CHECK(offset > 0);
        FUZZ_CHECK(!m_road.sizeLost && !m_road.mustStartOver);
        if (m_road.in.Empty()) return SourceOpen::LineFault;
        switch (m_road.in.U8() % 4) {
        case 0: m_restart = offset; break;
        case 1: m_restart = 0; break;  // accepted and ignored
        case 2: return SourceOpen::Refused;
        default: return SourceOpen::LineFault;
        }
        m_offsetTaken = true;
        return SourceOpen::Done;
    }
    SourceOpen OpenFile(const std::wstring& path) override {
        FUZZ_CHECK(path == expectedPath);
        FUZZ_CHECK(!m_open && m_connected && !m_road.sizeLost);
        m_road.mustStartOver = false;
        SourceOpen result = SourceOpen::LineFault;
        if (!m_road.in.Empty()) {
            const uint8_t choice = m_road.in.U8() % 8;
            result = choice < 6 ? SourceOpen::Done : choice == 6 ? SourceOpen::Refused : SourceOpen::LineFault;
        }
        if (result == SourceOpen::Done) {
            m_open = true;
            m_position = std::min(m_restart, m_road.serverSize);
        }
        if (result == SourceOpen::Refused) {
            m_road.refusedAtOffset = m_offsetTaken;
            m_road.mustStartOver = m_offsetTaken;
        }
        m_restart = 0;
        m_offsetTaken = false;
        return result;
    }
    SourceRead Read(void* buffer, int count, int& got, uint32_t timeoutMs) override {
        FUZZ_CHECK(m_open && m_connected);
        FUZZ_CHECK(count >= 0 && count <= kTransferBlockSize);
        FUZZ_CHECK(timeoutMs > 0);
        // Nothing is read again after the server has ended the file.
        FUZZ_CHECK(!m_ended);
        got = 0;
        const int64_t left = m_road.serverSize - m_position;
        SourceRead result = SourceRead::Data;
        if (m_road.in.Empty()) {
            result = SourceRead::Failed;
        } else {
            switch (m_road.in.U8() % 10) {
            case 0:
            case 1:
            case 2:
            case 3: got = static_cast<int>(std::min<int64_t>(count, left)); break;
            case 4: got = static_cast<int>(std::min<int64_t>(m_road.in.U16() % (count + 1), left)); break;
            case 5:
                got = count + 1 + m_road.in.U8();  // claims more than it may have written
                return SourceRead::Data;
            case 6: result = SourceRead::Reset; break;
            case 7: result = SourceRead::Failed; break;
            case 8:
                result = SourceRead::TimedOut;
                m_road.clockMs += timeoutMs;
                break;
            default:
                m_road.clockMs += m_road.in.U16();
                got = static_cast<int>(std::min<int64_t>(count, left));
                break;
            }
        }
        if (result != SourceRead::Data) {
            m_open = false;  // the connection is gone
            m_connected = false;
            return result;
        }
        for (int i = 0; i < got; ++i) static_cast<unsigned char*>(buffer)[i] = ContentAt(m_position + i);
        m_position += got;
        m_ended = got == 0 && count > 0;
        return SourceRead::Data;
    }
    int CloseFile() override {
        m_open = false;
        return kSessionSuccess;
    }
    void Disconnect() override {
        if (!m_disconnected) ++m_road.sessionsDisconnected;
        m_disconnected = true;
        m_connected = false;
        m_open = false;
    }
    std::wstring LastError() const override { return L"550 scripted"; }

    std::wstring expectedPath;

private:
    Road& m_road;
    bool m_connected = false;
    bool m_disconnected = false;
    bool m_open = false;
    bool m_ended = false;
    int64_t m_restart = 0;
    bool m_offsetTaken = false;  // the last REST was accepted
    int64_t m_position = 0;
};

class ScriptFiles : public ILocalFiles {
public:
    explicit ScriptFiles(Road& road) : m_road(road) {}

    void CreateFolderTree(const std::wstring& folder) override { FUZZ_CHECK(folder == kWork); }
    int64_t FreeSpace(const std::wstring& folder) override {
        FUZZ_CHECK(folder == kWork);
        return m_road.in.Empty() || m_road.in.U8() % 8 != 0 ? -1 : m_road.in.I32();
    }
    bool Create(const std::wstring& path) override {
        FUZZ_CHECK(m_open.empty());
        FUZZ_CHECK(path == expectedPath);
        if (m_road.in.Empty() || m_road.in.U8() % 8 == 0) return false;
        disk[path].clear();
        kept.erase(path);
        m_foreign = false;
        m_open = path;
        return true;
    }
    bool Write(const unsigned char* data, int count) override {
        FUZZ_CHECK(!m_open.empty());
        FUZZ_CHECK(count > 0 && count <= kTransferBlockSize);
        if (!m_road.in.Empty() && m_road.in.U8() % 32 == 0) return false;
        std::string& file = disk[m_open];
        // Never more than the listed size. A byte that is not the server's byte at its offset (a
        // server that ignored REST) must not survive to a kept file.
        FUZZ_CHECK(static_cast<int64_t>(file.size()) + count <= listedSize);
        m_foreign = m_foreign || !IsContentAt(static_cast<int64_t>(file.size()), data, count);
        file.append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
        return true;
    }
    bool Rewind() override {
        FUZZ_CHECK(!m_open.empty());
        FUZZ_CHECK(!m_road.sizeLost);  // a size not told now throws no bytes away
        disk[m_open].clear();
        m_foreign = false;
        return true;
    }
    bool Close() override {
        if (m_open.empty()) return true;
        const bool ok = m_road.in.Empty() || m_road.in.U8() % 16 != 0;
        // Closed on the way out of a failure too; only a whole, true file may stay on disk.
        if (ok && !m_foreign && static_cast<int64_t>(disk[m_open].size()) == listedSize) kept.insert(m_open);
        m_open.clear();
        return ok;
    }
    void Delete(const std::wstring& path) override {
        FUZZ_CHECK(m_open.empty());
        disk.erase(path);
        kept.erase(path);
    }

    bool IsOpen() const { return !m_open.empty(); }

    std::map<std::wstring, std::string> disk;
    std::set<std::wstring> kept;  // closed whole, with the server's bytes
    std::wstring expectedPath;
    int64_t listedSize = 0;

private:
    Road& m_road;
    std::wstring m_open;
    bool m_foreign = false;
};

class ScriptUi : public IDownloadSink {
public:
    ScriptUi(unsigned stopAfter, Road& road) : m_stopAfter(stopAfter), m_road(road) {}

    void Report(const DownloadStatus& status) override {
        FUZZ_CHECK(status.done >= 0 && status.done <= status.total);
        if (status.state == DownloadState::Reconnecting) FUZZ_CHECK(status.attempt >= 1 && status.attempt <= 5);
    }
    uint64_t NowMs() override { return m_road.clockMs; }
    void Sleep(unsigned milliseconds) override { m_road.clockMs += milliseconds; }
    bool StopRequested() override {
        stopped = stopped || (m_stopAfter != 0 && ++m_calls >= m_stopAfter);
        return stopped;
    }

    bool stopped = false;

private:
    unsigned m_stopAfter;
    unsigned m_calls = 0;
    Road& m_road;
};

std::wstring ItemName(FuzzInput& in) {
    switch (in.U8() % 6) {
    case 0: return L"TALVIX_FULL_250101.exe";
    case 1: return L"TALVIX_APP_250101.cif.exe";
    case 2: return L"setup.exe";
    case 3: return L"..\\setup.exe";
    case 4: return L"readme.txt";
    default: return in.Wide();
    }
}

int64_t ItemSize(FuzzInput& in) {
    switch (in.U8() % 4) {
    case 0: return in.U8();
    case 1: return in.U16() * 3;
    case 2: return (in.U8() % 4) * kTransferBlockSize;
    default: return in.I32();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    DownloadRequest request;
    request.serverFolder = kServerFolder;
    request.workFolder = kWork;
    request.server = UpdateServerSettings(L"127.0.0.1");
    const int count = 1 + in.U8() % 3;
    for (int i = 0; i < count; ++i) {
        RemoteEntry item;
        item.name = ItemName(in);
        item.size = ItemSize(in);
        request.items.push_back(item);
    }
    Road road(in);
    ScriptUi ui(in.U16(), road);
    ScriptFiles files(road);
    // The worker goes through the items in order, each from its first connection.
    size_t item = 0;
    std::wstring lastPath;
    const auto newSession = [&]() -> std::unique_ptr<ISourceSession> {
        auto session = std::make_unique<ScriptSession>(road);
        session->expectedPath = lastPath;
        return session;
    };
    // Which item the worker is on is told by its Connecting report; wrap the sink to follow it.
    class Follow : public IDownloadSink {
    public:
        Follow(ScriptUi& ui, std::function<void(size_t)> onItem) : m_ui(ui), m_onItem(std::move(onItem)) {}
        void Report(const DownloadStatus& status) override {
            if (status.state == DownloadState::Connecting) m_onItem(status.item);
            m_ui.Report(status);
        }
        uint64_t NowMs() override { return m_ui.NowMs(); }
        void Sleep(unsigned ms) override { m_ui.Sleep(ms); }
        bool StopRequested() override { return m_ui.StopRequested(); }

    private:
        ScriptUi& m_ui;
        std::function<void(size_t)> m_onItem;
    } follow(ui, [&](size_t k) {
        FUZZ_CHECK(k == item++);
        FUZZ_CHECK(!files.IsOpen());
        const RemoteEntry& next = request.items[k];
        FUZZ_CHECK(IsSafeLocalFileName(next.name) && IsSetupProgramName(next.name) && next.size >= 0);
        lastPath = kServerFolder + next.name;
        files.expectedPath = kWork + L"\\" + LocalNameOf(next.name);
        files.listedSize = next.size;
        road.serverSize = in.Empty() || in.U8() % 4 != 0 ? next.size : in.U16();
        road.sizeTold = road.sizeLost = road.refusedAtOffset = road.mustStartOver = false;
    });

    int sourcesLeft = 2;
    const NextSourceFinder nextSource = [&](const std::wstring& name, NextSource& next) {
        FUZZ_CHECK(item > 0 && name == request.items[item - 1].name);
        if (sourcesLeft == 0 || in.Empty() || in.U8() % 2 == 0) return false;
        --sourcesLeft;
        road.sizeTold = road.sizeLost = false;
        next.server = UpdateServerSettings(L"mirror.invalid");
        next.newSession = newSession;
        road.sizeUpFront = in.Empty() || in.U8() % 2 == 0;
        return true;
    };

    const DownloadResult result = DownloadUpdates(request, newSession, files, follow, nextSource);

    FUZZ_CHECK(!files.IsOpen());
    FUZZ_CHECK(road.sessionsDisconnected == road.sessionsMade);
    // No partial or foreign file survives: whatever is on disk was closed whole and true.
    for (const auto& file : files.disk) FUZZ_CHECK(files.kept.count(file.first) == 1);
    if (result == DownloadResult::Completed) {
        FUZZ_CHECK(!ui.stopped);
        FUZZ_CHECK(item == request.items.size());
        for (const RemoteEntry& done : request.items)
            FUZZ_CHECK(files.disk.count(kWork + L"\\" + LocalNameOf(done.name)) == 1);
    }
    if (result == DownloadResult::Stopped) FUZZ_CHECK(ui.stopped);
    if (result == DownloadResult::RemoteFileUnopenable) FUZZ_CHECK(!road.refusedAtOffset);
    return 0;
}
