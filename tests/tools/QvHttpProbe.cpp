// Runs the program's HTTPS session (CHttpSession) from the command line, for the end-to-end tests
// that drive it against tests/fixtures/https_server.py. SOURCE is an update source such as
// "https://localhost:PORT/" and PATH a file under it ("/Software/x.exe"). Commands:
//   QvHttpProbe get SOURCE PATH OUTFILE [--offset N] [--expected N] [--read-timeout MS]
//       RestartAt(N) when given, OpenFile, then reads to the end into OUTFILE, each read waiting at
//       most MS (20000);
//   QvHttpProbe size SOURCE PATH          RemoteFileSize (HEAD);
//   QvHttpProbe small SOURCE PATH LIMIT   ReadSmallFile;
//   QvHttpProbe download SOURCE PATH SIZE WORKFOLDER
//       the program's transfer logic (DownloadUpdates) over MakeHttpSession with its local files.
// Prints key=value lines: open, status, failure, error, range_ignored, read, bytes, size, result,
// faults (the line faults the transfer reconnected after, in order).
// Exit code 0: the operation got its file (or size); 1: it did not; 3: bad arguments. Before it ends,
// the probe lets every thread of the process finish starting (WaitForStartingThreads).
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "update/sources/HttpSession.h"
#include "update/release/logic/SmallFile.h"
#include "update/engine/LocalFiles.h"
#include "update/engine/logic/DownloadLogic.h"
#include "update/sources/logic/UpdateSources.h"

namespace {

// Threads that have finished starting (they ran their attach) and not yet begun to end.
std::atomic<long> g_startedThreads{0};
// Set whenever a thread has started or begins to end; made before wmain starts any thread.
const HANDLE g_threadEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);

void NTAPI OnThreadEvent(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_THREAD_ATTACH) {
        ++g_startedThreads;
    } else if (reason == DLL_THREAD_DETACH) {
        --g_startedThreads;
    } else {
        return;
    }
    if (g_threadEvent) SetEvent(g_threadEvent);
}

long ThreadsOfProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    long count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

// Waits (at most `boundMs`) until no thread of the process is still starting. Closing a request
// whose connection WinINet keeps for reuse starts WinINet's pool thread; a process that ends while
// such a thread starts is killed by SIGSEGV under Wine 8, which is not the exit code under test.
void WaitForStartingThreads(DWORD boundMs) {
    const ULONGLONG deadline = GetTickCount64() + boundMs;
    for (;;) {
        const long threads = ThreadsOfProcess();
        if (threads < 0 || threads <= 1 + g_startedThreads.load()) return;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline || !g_threadEvent) return;
        // Looked at again now and then: a thread that ends after its detach says nothing more.
        WaitForSingleObject(g_threadEvent, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50)));
    }
}

const char* OpenName(SourceOpen open) {
    switch (open) {
    case SourceOpen::Done: return "done";
    case SourceOpen::Refused: return "refused";
    case SourceOpen::LineFault: return "line_fault";
    }
    return "unknown";
}

const char* ReadName(SourceRead read) {
    switch (read) {
    case SourceRead::Data: return "end";
    case SourceRead::Reset: return "reset";
    case SourceRead::Failed: return "failed";
    case SourceRead::TimedOut: return "timed_out";
    case SourceRead::Stopped: return "stopped";
    }
    return "unknown";
}

void PrintFacts(const CHttpSession& session) {
    std::printf("status=%u\nfailure=%s\nerror=%lu\nrange_ignored=%s\n", session.LastStatus(),
                SourceFailureName(session.LastFailure()), static_cast<unsigned long>(session.LastPlatformError()),
                session.RangeIgnored() ? "yes" : "no");
}

// Opens the file (from `offset`) and copies its body to `out`; true when it ended after its bytes.
bool Get(CHttpSession& session, const std::wstring& path, const std::wstring& out, int64_t offset,
         uint32_t readTimeoutMs) {
    if (offset > 0) session.RestartAt(offset);
    const SourceOpen open = session.OpenFile(path);
    std::printf("open=%s\n", OpenName(open));
    if (open != SourceOpen::Done) {
        PrintFacts(session);
        return false;
    }
    FILE* file = _wfopen(out.c_str(), L"wb");
    if (!file) return false;
    std::vector<char> block(kTransferBlockSize);
    int64_t bytes = 0;
    SourceRead read = SourceRead::Data;
    for (;;) {
        int got = 0;
        read = session.Read(block.data(), kTransferBlockSize, got, readTimeoutMs);
        if (read != SourceRead::Data || got == 0) break;
        std::fwrite(block.data(), 1, static_cast<size_t>(got), file);
        bytes += got;
    }
    std::fclose(file);
    session.CloseFile();
    PrintFacts(session);
    std::printf("read=%s\nbytes=%lld\n", ReadName(read), static_cast<long long>(bytes));
    return read == SourceRead::Data;
}

// The transfer's reports, reduced to the faults it reconnected after.
class ProbeSink : public IDownloadSink {
public:
    void Report(const DownloadStatus& status) override {
        if (status.state == DownloadState::Reconnecting) faults.push_back(LineFaultName(status.fault));
    }
    uint64_t NowMs() override { return ::GetTickCount64(); }
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
    bool StopRequested() override { return false; }

    std::vector<std::string> faults;
};

bool Download(const UpdateSource& source, const std::wstring& path, int64_t size, const std::wstring& workFolder) {
    const size_t cut = path.find_last_of(L"\\/");
    DownloadRequest request;
    RemoteEntry item;
    item.name = path.substr(cut + 1);
    item.size = size;
    request.items.push_back(item);
    request.serverFolder = path.substr(0, cut + 1);
    request.workFolder = workFolder;
    request.server.host = source.host;
    request.server.port = source.port;

    CLocalFiles files;
    ProbeSink sink;
    const SourceSessionFactory newSession = [&] { return MakeHttpSession(source, nullptr); };
    const DownloadResult result = DownloadUpdates(request, newSession, files, sink);
    std::string faults;
    for (const std::string& fault : sink.faults) faults += (faults.empty() ? "" : ",") + fault;
    std::printf("result=%d\nfaults=%s\n", static_cast<int>(result), faults.c_str());
    return result == DownloadResult::Completed;
}

int Usage() {
    std::fprintf(stderr, "usage: QvHttpProbe get|size|small|download SOURCE PATH ...\n");
    return 3;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 4) return Usage();
    const std::wstring command = argv[1];
    std::vector<UpdateSource> sources;
    std::wstring why;
    if (!ParseUpdateSources(argv[2], sources, &why) || sources.size() != 1 || sources[0].kind != SourceKind::Https) {
        std::fprintf(stderr, "not one https source: %ls\n", why.c_str());
        return 3;
    }
    const UpdateSource& source = sources[0];
    const std::wstring path = argv[3];

    if (command == L"download") {
        if (argc != 6) return Usage();
        return Download(source, path, _wtoi64(argv[4]), argv[5]) ? 0 : 1;
    }
    CHttpSession session(source);
    if (session.Connect({}) != ConnectResult::Connected) {
        std::printf("connect=failed\n");
        PrintFacts(session);
        return 1;
    }
    if (command == L"size") {
        const int64_t size = session.RemoteFileSize(path);
        std::printf("size=%lld\n", static_cast<long long>(size));
        PrintFacts(session);
        return size >= 0 ? 0 : 1;
    }
    if (command == L"small" && argc == 5) {
        std::vector<uint8_t> bytes;
        const bool whole = ReadSmallFile(session, path, static_cast<size_t>(_wtoi64(argv[4])), bytes, 15000);
        std::printf("small=%s\nbytes=%u\n", whole ? "yes" : "no", static_cast<unsigned>(bytes.size()));
        PrintFacts(session);
        return whole ? 0 : 1;
    }
    if (command == L"get" && argc >= 5) {
        int64_t offset = 0;
        uint32_t readTimeoutMs = 20000;
        for (int k = 5; k + 1 < argc; k += 2) {
            const std::wstring option = argv[k];
            if (option == L"--offset") {
                offset = _wtoi64(argv[k + 1]);
            } else if (option == L"--expected") {
                session.ExpectSize(_wtoi64(argv[k + 1]));
            } else if (option == L"--read-timeout") {
                readTimeoutMs = static_cast<uint32_t>(_wtoi(argv[k + 1]));
            } else {
                return Usage();
            }
        }
        return Get(session, path, argv[4], offset, readTimeoutMs) ? 0 : 1;
    }
    return Usage();
}

}  // namespace

// Every thread the process starts (WinINet's too) is seen here once it has started: the exe's TLS
// callback runs for each, as a DLL's entry point would.
extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK qvProbeThreadCallback = OnThreadEvent;

int wmain(int argc, wchar_t** argv) {
    const int code = Run(argc, argv);
    WaitForStartingThreads(5000);
    return code;
}
