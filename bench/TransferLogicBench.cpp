// The transfer logic's own cost per block, natively and without I/O: DownloadUpdates over a session
// that hands out every block at once, local files that drop the bytes and a user interface that
// does not pause. What is left is the block loop itself: the zero fill, the line watch, the progress
// report and the window's text for it, the calls through the interfaces.
//   TransferLogicBench TEXT_TABLE_FILE [MIB]
// Prints key=value lines: blocks, ns_per_block, status_updates, result.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "system/logic/TextTable.h"
#include "system/logic/Utf8.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/engine/logic/DownloadLogic.h"

namespace {

class InstantSession : public ISourceSession {
public:
    bool CanList() const override { return true; }
    bool KnowsSizeUpFront() const override { return true; }
    bool NeedsStatement() const override { return false; }
    SourceFailure LastFailure() const override { return SourceFailure::None; }
    ConnectResult Connect(const SourceConnectionSettings&) override { return ConnectResult::Connected; }
    int ListFiles(const std::wstring&, std::vector<RemoteEntry>&, const std::wstring&) override { return 0; }
    int64_t RemoteFileSize(const std::wstring&) override { return -1; }
    SourceOpen RestartAt(int64_t) override { return SourceOpen::Refused; }
    SourceOpen OpenFile(const std::wstring&) override { return SourceOpen::Done; }
    SourceRead Read(void*, int count, int& got, uint32_t) override {
        got = count;
        return SourceRead::Data;
    }
    int CloseFile() override { return kSessionSuccess; }
    void Disconnect() override {}
    std::wstring LastError() const override { return std::wstring(); }
};

class DroppedFiles : public ILocalFiles {
public:
    void CreateFolderTree(const std::wstring&) override {}
    int64_t FreeSpace(const std::wstring&) override { return -1; }
    bool Create(const std::wstring&) override { return true; }
    bool Rewind() override { return true; }
    bool Write(const unsigned char* data, int count) override {
        sink += data[count - 1];  // touch the block, as a write would
        return true;
    }
    bool Close() override { return true; }
    void Delete(const std::wstring&) override {}
    volatile unsigned sink = 0;
};

// Turns each progress report into the row's text, as the window does, and counts the changes.
class QuietUi : public IDownloadSink {
public:
    explicit QuietUi(std::wstring format) : m_format(std::move(format)) {}
    void Report(const DownloadStatus& status) override {
        if (status.state != DownloadState::Transferring) return;
        std::wstring text = FormatProgressText(m_format, ProgressPercent(status.done, status.total), L"%");
        if (text != m_shown) ++statusUpdates;
        m_shown = std::move(text);
    }
    uint64_t NowMs() override { return ++m_clock; }
    void Sleep(unsigned) override {}
    bool StopRequested() override { return false; }
    int statusUpdates = 0;

private:
    std::wstring m_format;
    std::wstring m_shown;
    uint64_t m_clock = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: TransferLogicBench TEXT_TABLE_FILE [MIB]\n");
        return 3;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::wstring> texts = ParseTextTable(Utf8ToWide(bytes), 0);
    const int mib = argc > 2 ? std::atoi(argv[2]) : 256;

    DownloadRequest request;
    RemoteEntry item;
    item.name = L"BENCH.exe";
    item.size = int64_t{mib} * 1024 * 1024;
    request.items.push_back(item);
    request.serverFolder = DownloadServerFolder(L"", false);
    request.workFolder = kWorkFolder;
    request.server = UpdateServerSettings(L"127.0.0.1");

    DroppedFiles files;
    QuietUi ui(texts.size() > 26 ? texts[26] : std::wstring());
    const SourceSessionFactory newSession = [] { return std::make_unique<InstantSession>(); };
    const auto start = std::chrono::steady_clock::now();
    const bool ok = DownloadUpdates(request, newSession, files, ui) == DownloadResult::Completed;
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    const long blocks = (static_cast<long>(item.size) + kTransferBlockSize - 1) / kTransferBlockSize;
    std::printf("blocks=%ld\nns_per_block=%.1f\nstatus_updates=%d\nresult=%s\n", blocks, ns / blocks, ui.statusUpdates,
                ok ? "ok" : "failed");
    return ok ? 0 : 1;
}
