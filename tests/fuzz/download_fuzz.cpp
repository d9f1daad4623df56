// Fuzzes the transfer logic with a scripted road: every connect, open, read, file creation and
// write takes its outcome from the input, in the order the worker asks. A read can return the
// bytes asked for, fewer, none, more than asked, a reset, a failure or any negative number. Once
// the script runs out every step fails and the server's file ends, so a run always ends.
//
// Input: the item count, each item (name choice, size choice, list row), the call count after
// which the program asks the worker to stop (0: never), then the script.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "update/logic/DownloadLogic.h"

namespace {

const std::wstring kServerFolder = L"Software\\";
const std::wstring kWork(kWorkFolder);

// The server's file content repeats every 256 bytes, so the test can tell which bytes of the file
// a write carries: the content at offset o is the pattern from o % 256 on.
const std::vector<unsigned char>& ContentPattern() {
    static const std::vector<unsigned char> pattern = [] {
        std::vector<unsigned char> bytes(kTransferBlockSize + 256);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>((i * 31 + 7) & 0xFF);
        return bytes;
    }();
    return pattern;
}

const unsigned char* ContentAt(int64_t offset) { return ContentPattern().data() + offset % 256; }

struct Road {
    explicit Road(FuzzInput& input) : in(input) {}
    FuzzInput& in;
    int sessionsMade = 0;
    int sessionsDisconnected = 0;
};

class ScriptSession : public IFtpSession {
public:
    explicit ScriptSession(Road& road) : m_road(road) { ++m_road.sessionsMade; }
    ~ScriptSession() override { FUZZ_CHECK(!m_connected); }

    int Connect(std::wstring, std::wstring, std::wstring, uint16_t) override {
        FUZZ_CHECK(!m_connected);
        int result;
        switch (m_road.in.Empty() ? 2 : m_road.in.U8() % 5) {
        case 0:
        case 1: result = kFtpSuccess; break;
        case 2: result = kFtpFailed; break;
        case 3: result = kFtpError; break;
        default: result = m_road.in.I32(); break;
        }
        m_connected = result == kFtpSuccess;
        return result;
    }
    int ListFiles(const std::wstring&, std::vector<FTP_FILE_INFO>&, const std::wstring&) override {
        FUZZ_CHECK(false);  // the worker never lists
        return kFtpError;
    }
    int OpenFile(const std::wstring& path) override {
        FUZZ_CHECK(path == expectedPath);
        FUZZ_CHECK(!m_open);
        if (!m_connected || m_road.in.Empty()) return kFtpFailed;
        const uint8_t choice = m_road.in.U8();
        int result;
        switch (choice % 4) {
        case 0:
        case 1: result = kFtpSuccess; break;
        case 2: result = kFtpReconnected; break;
        default: result = choice & 0x80 ? m_road.in.I32() : kFtpFailed; break;
        }
        if (result == kFtpSuccess) {
            m_open = true;
            m_position = 0;
            m_ended = false;
        }
        return result;
    }
    int Read(void* buffer, int count) override {
        FUZZ_CHECK(m_open && m_connected);
        FUZZ_CHECK(count >= 0 && count <= kTransferBlockSize);
        // An empty read before the listed size means the file ended early; reading on would never
        // end, as the line keeps answering with nothing.
        FUZZ_CHECK(!m_ended);
        if (m_road.in.Empty()) {
            m_ended = count > 0;  // a script that runs out is a file that ends here
            return 0;
        }
        int got;
        switch (m_road.in.U8() % 8) {
        case 0:
        case 1:
        case 2: got = count; break;
        case 3: got = m_road.in.U16() % (count + 1); break;
        case 4: return count + 1 + m_road.in.U8();  // claims more than it may have written
        case 5: got = kFtpReadReconnected; break;
        case 6: return kFtpError;
        default: got = static_cast<int>(m_road.in.U32() | 0x80000000u); break;
        }
        if (got < 0) {
            if (got == kFtpReadReconnected) m_open = false;  // the handle is stale after a reconnection
            return got;
        }
        std::memcpy(buffer, ContentAt(m_position), static_cast<size_t>(got));
        m_position += got;
        m_ended = got == 0 && count > 0;
        return got;
    }
    int CloseFile() override {
        m_open = false;
        return kFtpSuccess;
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
    int64_t m_position = 0;
};

class ScriptFiles : public ILocalFiles {
public:
    explicit ScriptFiles(Road& road) : m_road(road) {}

    void CreateFolderTree(const std::wstring& folder) override { FUZZ_CHECK(folder == kWork); }
    bool Create(const std::wstring& path) override {
        FUZZ_CHECK(m_open.empty());
        FUZZ_CHECK(path == expectedPath);
        if (m_road.in.Empty() || m_road.in.U8() % 8 == 0) return false;
        disk[path].clear();
        sizeOnCreate[path] = listedSize;
        m_open = path;
        return true;
    }
    bool Write(const unsigned char* data, int count) override {
        FUZZ_CHECK(!m_open.empty());
        FUZZ_CHECK(count > 0 && count <= kTransferBlockSize);
        if (m_road.in.Empty() || m_road.in.U8() % 8 == 0) return false;
        std::string& file = disk[m_open];
        // Never more than the listed size, and every byte is the server's byte at that offset.
        FUZZ_CHECK(static_cast<int64_t>(file.size()) + count <= listedSize);
        FUZZ_CHECK(std::memcmp(data, ContentAt(static_cast<int64_t>(file.size())), static_cast<size_t>(count)) == 0);
        file.append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
        return true;
    }
    void Close() override { m_open.clear(); }
    void Delete(const std::wstring& path) override {
        FUZZ_CHECK(m_open.empty());
        disk.erase(path);
    }

    bool IsOpen() const { return !m_open.empty(); }

    std::map<std::wstring, std::string> disk;
    std::map<std::wstring, int64_t> sizeOnCreate;  // listed size of the item that made each file
    std::wstring expectedPath;
    int64_t listedSize = 0;

private:
    Road& m_road;
    std::wstring m_open;
};

class ScriptUi : public IDownloadSink {
public:
    explicit ScriptUi(unsigned stopAfter) : m_stopAfter(stopAfter) {}

    void ShowProgress(int, const std::wstring&) override { FUZZ_CHECK(failures == 0); }
    void ShowRowState(int, const std::wstring&) override { FUZZ_CHECK(failures == 0); }
    void ShowBanner(const std::wstring&) override { FUZZ_CHECK(failures == 0); }
    void Failed(const std::wstring& first, const std::wstring&) override {
        FUZZ_CHECK(!first.empty());
        ++failures;
    }
    void Sleep(unsigned) override {}
    void FinalPause(unsigned) override {}
    bool StopRequested() override {
        stopped = stopped || (m_stopAfter != 0 && ++m_calls >= m_stopAfter);
        return stopped;
    }

    bool stopped = false;
    int failures = 0;

private:
    unsigned m_stopAfter;
    unsigned m_calls = 0;
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

int32_t ItemSize(FuzzInput& in) {
    switch (in.U8() % 4) {
    case 0: return in.U8();
    case 1: return in.U16() * 3;
    case 2: return (in.U8() % 4) * kTransferBlockSize;
    default: return in.I32();
    }
}

std::vector<std::wstring> Texts() {
    std::vector<std::wstring> texts;
    for (int k = 0; k < 32; ++k) texts.push_back(L"text " + std::to_wstring(k));
    texts[26] = L" %.0f / 100[%%]";
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<std::wstring> texts = Texts();
    FuzzInput in(data, size);
    DownloadRequest request;
    request.serverFolder = kServerFolder;
    request.workFolder = kWork;
    request.server = UpdateServerSettings(L"127.0.0.1");
    const int count = 1 + in.U8() % 3;
    for (int i = 0; i < count; ++i) {
        UPDATE_ITEM item;
        item.SetName(ItemName(in));
        item.dwFileSize = ItemSize(in);
        item.nListRow = in.U8();
        request.items.push_back(item);
    }
    ScriptUi ui(in.U16());

    Road road(in);
    ScriptFiles files(road);
    // The worker goes through the items in order; the test follows along by the sessions it makes.
    const auto newSession = [&]() -> std::unique_ptr<IFtpSession> {
        FUZZ_CHECK(road.sessionsMade < static_cast<int>(request.items.size()));
        const UPDATE_ITEM& item = request.items[static_cast<size_t>(road.sessionsMade)];
        FUZZ_CHECK(!files.IsOpen());
        FUZZ_CHECK(IsSafeLocalFileName(item.Name()) && HasSetupExtension(item.Name()) && item.dwFileSize >= 0);
        auto session = std::make_unique<ScriptSession>(road);
        session->expectedPath = kServerFolder + item.Name();
        files.expectedPath = kWork + L"\\" + LocalNameOf(item.Name());
        files.listedSize = item.dwFileSize;
        return session;
    };

    const int result = DownloadUpdates(request, texts, newSession, files, ui);

    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(!files.IsOpen());
    FUZZ_CHECK(road.sessionsDisconnected == road.sessionsMade);
    // No partial file survives: whatever is on disk was written in full.
    for (const auto& file : files.disk)
        FUZZ_CHECK(static_cast<int64_t>(file.second.size()) == files.sizeOnCreate[file.first]);

    if (result == 1) {
        FUZZ_CHECK(!ui.stopped && ui.failures == 0);
        FUZZ_CHECK(road.sessionsMade == static_cast<int>(request.items.size()));
        for (const UPDATE_ITEM& item : request.items)
            FUZZ_CHECK(files.disk.count(kWork + L"\\" + LocalNameOf(item.Name())) == 1);
    } else {
        FUZZ_CHECK(ui.failures <= 1);
    }
    return 0;
}
