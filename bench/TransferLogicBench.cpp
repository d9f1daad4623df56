// The transfer logic's own cost per block, natively and without I/O: DownloadUpdates over a session
// that hands out every block at once, local files that drop the bytes and a user interface that
// does not pause. What is left is the block loop itself: the zero fill, the progress text and its
// comparison, the calls through the interfaces.
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
#include "update/logic/Catalogue.h"
#include "update/logic/DownloadLogic.h"

namespace {

class InstantSession : public IFtpSession {
public:
    int Connect(std::wstring, std::wstring, std::wstring, uint16_t) override { return kFtpSuccess; }
    int ListFiles(const std::wstring&, std::vector<FTP_FILE_INFO>&, const std::wstring&) override { return 0; }
    int OpenFile(const std::wstring&) override { return kFtpSuccess; }
    int Read(void*, int count) override { return count; }
    int CloseFile() override { return kFtpSuccess; }
    void Disconnect() override {}
    std::wstring LastError() const override { return std::wstring(); }
};

class DroppedFiles : public ILocalFiles {
public:
    void CreateFolderTree(const std::wstring&) override {}
    bool Create(const std::wstring&) override { return true; }
    bool Write(const unsigned char* data, int count) override {
        sink += data[count - 1];  // touch the block, as a write would
        return true;
    }
    void Close() override {}
    void Delete(const std::wstring&) override {}
    volatile unsigned sink = 0;
};

class QuietUi : public IDownloadSink {
public:
    void ShowProgress(int, const std::wstring&) override { ++statusUpdates; }
    void ShowRowState(int, const std::wstring&) override { ++statusUpdates; }
    void ShowBanner(const std::wstring&) override {}
    void Failed(const std::wstring&, const std::wstring&) override {}
    void Sleep(unsigned) override {}
    void FinalPause(unsigned) override {}
    bool StopRequested() override { return false; }
    int statusUpdates = 0;
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
    UPDATE_ITEM item;
    item.SetName(L"BENCH.exe");
    item.dwFileSize = mib * 1024 * 1024;
    item.nListRow = 0;
    request.items.push_back(item);
    request.serverFolder = DownloadServerFolder(L"", false);
    request.workFolder = kWorkFolder;
    request.server = UpdateServerSettings(L"127.0.0.1");

    DroppedFiles files;
    QuietUi ui;
    const FtpSessionFactory newSession = [] { return std::make_unique<InstantSession>(); };
    const auto start = std::chrono::steady_clock::now();
    const int result = DownloadUpdates(request, texts, newSession, files, ui);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    const long blocks = (static_cast<long>(item.dwFileSize) + kTransferBlockSize - 1) / kTransferBlockSize;
    std::printf("blocks=%ld\nns_per_block=%.1f\nstatus_updates=%d\nresult=%s\n", blocks, ns / blocks, ui.statusUpdates,
                result == 1 ? "ok" : "failed");
    return result == 1 ? 0 : 1;
}
