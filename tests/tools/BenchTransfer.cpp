// Benchmark of the download path without the window. Modes:
//   BenchTransfer program HOST PORT NAME SIZE WORKFOLDER PROGRAM_EXE
//       the program's own transfer: DownloadUpdates over MakeFtpSession(), 30720-byte blocks,
//       the 1 ms pause per block, the coalesced progress texts (the program's text table, read from
//       PROGRAM_EXE) and the worker's local files;
//   BenchTransfer bare HOST PORT NAME SIZE WORKFOLDER
//       a bare WinINet loop with the same block size, pause and file writes;
//   BenchTransfer check HOST PORT
//       the server check's FTP part: CFtpSession's connect, listing of /Software and disconnect;
//   BenchTransfer bare-check HOST PORT
//       the same exchange straight through WinINet.
// The file is /Software/NAME on the server. The transfers raise the timer resolution to 1 ms as
// the download worker does. Prints key=value lines: seconds (connect to the local file closed),
// status_updates (progress texts handed to the user interface), result.
// Exit code 0: the file arrived whole; 1: it did not; 3: bad arguments.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

// The program's own code, from its library.
#include "system/logic/TextTable.h"
#include "system/logic/Utf8.h"
#include "framework/File.h"
#include "system/HeldFolder.h"
#include "update/sources/FtpSession.h"
#include "update/engine/LocalFiles.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/engine/logic/DownloadLogic.h"
#include "update/sources/logic/SourceSession.h"
#include "resources/resource.h"

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The text table as the program reads it from its resource, in English.
std::vector<std::wstring> ProgramTexts(const std::wstring& programExe) {
    HMODULE module = ::LoadLibraryExW(programExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC info = module ? ::FindResourceW(module, MAKEINTRESOURCEW(IDR_TEXT_TABLE), L"TEXT") : nullptr;
    HGLOBAL data = info ? ::LoadResource(module, info) : nullptr;
    const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
    std::vector<std::wstring> texts;
    if (bytes) {
        const std::string text(bytes, strnlen(bytes, ::SizeofResource(module, info)));
        texts = ParseTextTable(Utf8ToWide(text), 0);
    }
    if (module) ::FreeLibrary(module);
    return texts;
}

// Counts the progress texts the window would show (one per change, as the dialog repaints) and
// notes when the item is reported complete, after the remote and the local file are closed.
class BenchUi : public IDownloadSink {
public:
    explicit BenchUi(std::wstring progressFormat) : m_format(std::move(progressFormat)) {}

    void Report(const DownloadStatus& status) override {
        if (status.state == DownloadState::Completed) {
            ++statusUpdates;
            completedAt = Now();
        } else if (status.state == DownloadState::Transferring && status.done > 0) {
            const std::wstring text = FormatProgressText(m_format, ProgressPercent(status.done, status.total), L"%");
            if (text != m_shown) ++statusUpdates;
            m_shown = text;
        } else if (status.state == DownloadState::Reconnecting) {
            ++reconnections;
        }
    }
    uint64_t NowMs() override { return ::GetTickCount64(); }
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
    bool StopRequested() override { return false; }

    int statusUpdates = 0;
    int reconnections = 0;
    double completedAt = 0;

private:
    std::wstring m_format;
    std::wstring m_shown;
};

// Returns the seconds from connect to the closed local file, or a negative value on failure.
double RunProgramPath(const std::wstring& host, uint16_t port, const std::wstring& name, int64_t size,
                      const std::wstring& workFolder, const std::wstring& programExe, int& statusUpdates) {
    const std::vector<std::wstring> texts = ProgramTexts(programExe);
    if (texts.size() < 27) {
        std::fwprintf(stderr, L"no text table in %ls\n", programExe.c_str());
        return -1;
    }
    DownloadRequest request;
    RemoteEntry item;
    item.name = name;
    item.size = size;
    request.items.push_back(item);
    request.serverFolder = DownloadServerFolder(L"", false);
    request.workFolder = workFolder;
    request.server = UpdateServerSettings(host);
    request.server.port = port;

    CLocalFiles files;
    BenchUi ui(texts[26]);
    const SourceSessionFactory newSession = [] { return MakeFtpSession(); };
    const double start = Now();
    const DownloadResult result = DownloadUpdates(request, newSession, files, ui);
    statusUpdates = ui.statusUpdates;
    if (ui.reconnections > 0) std::printf("reconnections=%d\n", ui.reconnections);
    if (result != DownloadResult::Completed) std::printf("failure=%d\n", static_cast<int>(result));
    return result == DownloadResult::Completed && ui.completedAt > 0 ? ui.completedAt - start : -1;
}

// A plain passive FTP connection with the update account, straight through WinINet; null on failure
// (the session handle, if one was opened, is returned for closing all the same).
HINTERNET BareConnect(const std::wstring& host, uint16_t port, HINTERNET& session) {
    session = ::InternetOpenW(L"BenchTransfer", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    return session ? ::InternetConnectW(session, host.c_str(), port, kUpdateUser, kUpdatePassword, INTERNET_SERVICE_FTP,
                                        INTERNET_FLAG_PASSIVE, 0)
                   : nullptr;
}

double RunBareLoop(const std::wstring& host, uint16_t port, const std::wstring& name, int64_t size,
                   const std::wstring& workFolder) {
    const double start = Now();
    HINTERNET session = nullptr;
    HINTERNET connection = BareConnect(host, port, session);
    const std::wstring remote = L"/Software/" + name;
    HINTERNET file = connection ? ::FtpOpenFileW(connection, remote.c_str(), GENERIC_READ,
                                                 INTERNET_FLAG_NO_CACHE_WRITE | FTP_TRANSFER_TYPE_BINARY, 0)
                                : nullptr;
    CFile local;
    CHeldFolder folder;
    const bool opened = file && folder.Open(workFolder, FolderDemand::MadePrivate).verdict == FolderVerdict::Held &&
                        folder.Create(name, local);
    std::vector<unsigned char> buffer(kTransferBlockSize);
    int64_t done = 0;
    bool ok = opened;
    while (ok && done < size) {
        const DWORD want = static_cast<DWORD>(std::min<int64_t>(kTransferBlockSize, size - done));
        DWORD got = 0;
        ok = ::InternetReadFile(file, buffer.data(), want, &got) && got > 0 && local.Write(buffer.data(), got);
        done += got;
        ::Sleep(1);
    }
    if (file) ::InternetCloseHandle(file);
    if (connection) ::InternetCloseHandle(connection);
    if (session) ::InternetCloseHandle(session);
    ok = local.Close() && ok && done == size;
    return ok ? Now() - start : -1;
}

// The server check's FTP part as the program runs it: connect, list the folder, disconnect.
// Prints the time of each step; returns the whole time, or a negative value on failure.
double RunServerCheck(const std::wstring& host, uint16_t port) {
    SourceConnectionSettings server = UpdateServerSettings(host);
    server.port = port;
    const double start = Now();
    CFtpSession session;
    const ConnectResult connected = session.Connect(server);
    const double afterConnect = Now();
    std::vector<RemoteEntry> files;
    const int listed =
        connected == ConnectResult::Connected ? session.ListFiles(ListingServerFolder(L"", false), files, L"*") : 0;
    const double afterList = Now();
    session.Disconnect();
    const double end = Now();
    std::printf("connect=%.4f\nlist=%.4f\ndisconnect=%.4f\n", afterConnect - start, afterList - afterConnect,
                end - afterList);
    return listed > 0 ? end - start : -1;
}

// The same exchange straight through WinINet.
double RunBareCheck(const std::wstring& host, uint16_t port) {
    const double start = Now();
    HINTERNET session = nullptr;
    HINTERNET connection = BareConnect(host, port, session);
    WIN32_FIND_DATAW found = {};
    HINTERNET find = connection ? ::FtpFindFirstFileW(connection, L"/Software/*.*", &found, 0, 0) : nullptr;
    int files = find ? 1 : 0;
    while (find && ::InternetFindNextFileW(find, &found)) ++files;
    for (HINTERNET handle : {find, connection, session})
        if (handle) ::InternetCloseHandle(handle);
    return files > 0 ? Now() - start : -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (!((mode == L"program" && argc == 8) || (mode == L"bare" && argc == 7) ||
          ((mode == L"check" || mode == L"bare-check") && argc == 4))) {
        std::fwprintf(stderr,
                      L"usage: BenchTransfer program|bare HOST PORT NAME SIZE WORKFOLDER [PROGRAM_EXE]\n"
                      L"       BenchTransfer check|bare-check HOST PORT\n");
        return 3;
    }
    const std::wstring host = argv[2];
    const auto port = static_cast<uint16_t>(std::wcstoul(argv[3], nullptr, 10));
    if (mode == L"check" || mode == L"bare-check") {
        const double seconds = mode == L"check" ? RunServerCheck(host, port) : RunBareCheck(host, port);
        std::printf("seconds=%.4f\nresult=%s\n", seconds, seconds >= 0 ? "ok" : "failed");
        return seconds >= 0 ? 0 : 1;
    }
    const std::wstring name = argv[4];
    const int64_t size = std::wcstoll(argv[5], nullptr, 10);
    const std::wstring workFolder = argv[6];

    int statusUpdates = 0;
    double seconds = -1;
    {
        CTimerResolution resolution;
        seconds = mode == L"program" ? RunProgramPath(host, port, name, size, workFolder, argv[7], statusUpdates)
                                     : RunBareLoop(host, port, name, size, workFolder);
    }

    std::printf("seconds=%.4f\nstatus_updates=%d\nresult=%s\n", seconds, statusUpdates, seconds >= 0 ? "ok" : "failed");
    return seconds >= 0 ? 0 : 1;
}
