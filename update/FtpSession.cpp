#include "update/FtpSession.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "system/DiagnosticsLog.h"
#include "update/logic/FtpPaths.h"

namespace {

// A silent server must not hold an operation longer than this.
constexpr DWORD kOperationTimeoutMs = 15000;
// A small file (the release statement) must arrive with no pause longer than this.
constexpr uint32_t kSmallFileTimeoutMs = 15000;
// How long closing a file waits for a read ahead to come back (one block on a live line).
constexpr uint32_t kReaderCloseWaitMs = 1000;

constexpr DWORD kConnectFlags = INTERNET_FLAG_PASSIVE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

void SetTimeouts(HINTERNET session) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        DWORD value = kOperationTimeoutMs;
        InternetSetOptionW(session, option, &value, sizeof value);
    }
}

// The calling thread's last response from the server: asked for with 260 characters, more if longer.
std::wstring LastResponseText() {
    DWORD error = 0;
    std::vector<wchar_t> text(260);
    DWORD length = static_cast<DWORD>(text.size());
    if (!InternetGetLastResponseInfoW(&error, text.data(), &length)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::wstring();
        text.resize(length + 1);
        length = static_cast<DWORD>(text.size());
        if (!InternetGetLastResponseInfoW(&error, text.data(), &length)) return std::wstring();
    }
    // Wine counts the terminator in the length.
    return std::wstring(text.data(), wcsnlen(text.data(), std::min<size_t>(length, text.size())));
}

// A failed operation on the connection that a new connection may get past: anything but the
// server's own refusal (a reply of the 5xx class).
bool IsLineFault(const std::wstring& reply) { return reply.empty() || reply[0] != L'5'; }

bool IsResetError(DWORD error) {
    return error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED;
}

// The URL cache file that WinINet copies a download into, or "" when it keeps none. Wine's FTP
// client keeps one for every download whatever the no-cache flag says.
std::wstring CacheCopyOf(HINTERNET file) {
    std::vector<wchar_t> name(1024);
    DWORD size = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    if (!InternetQueryOptionW(file, INTERNET_OPTION_DATAFILE_NAME, name.data(), &size)) return std::wstring();
    return std::wstring(name.data());
}

}  // namespace

// Reads the open remote file ahead on a thread of its own, a few blocks at most, so that the line
// and the disk work side by side. Under Wine a read that the server leaves waiting is not released
// by closing its handles, so the session stops waiting and leaves the reader behind: it owns its
// buffers and never touches the caller's, and it ends once its read comes back.
class CBlockReader {
public:
    static std::shared_ptr<CBlockReader> Start(const FtpTransferCalls& calls, HINTERNET file) {
        auto reader = std::make_shared<CBlockReader>(calls, file);
        try {
            std::thread([reader] { reader->Run(); }).detach();
        } catch (const std::system_error&) {
            return nullptr;
        }
        return reader;
    }

    CBlockReader(const FtpTransferCalls& calls, HINTERNET file) : m_calls(calls), m_file(file) {}

    // Data (0 bytes: the end of the file), Reset or Failed as the reads went; TimedOut or Stopped
    // when nothing came in time and the reader was left behind.
    FtpRead Read(void* buffer, int count, int& got, uint32_t timeoutMs, const std::atomic<bool>* stop, DWORD& error) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_ready.empty() && !m_ended) {
            if (stop && stop->load()) return Abandon(FtpRead::Stopped);
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) return Abandon(FtpRead::TimedOut);
            m_arrived.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now, kStopPoll));
        }
        if (m_ready.empty()) {
            error = m_error;
            if (m_ok) return FtpRead::Data;  // the server ended the file
            return IsResetError(m_error) ? FtpRead::Reset : FtpRead::Failed;
        }
        Block& front = m_ready.front();
        got = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(count, 0)), front.size - front.taken));
        std::copy_n(front.bytes.data() + front.taken, got, static_cast<char*>(buffer));
        front.taken += static_cast<size_t>(got);
        if (front.taken == front.size) {
            m_spare.push_back(std::move(front.bytes));
            m_ready.pop_front();
            m_room.notify_one();
        }
        return FtpRead::Data;
    }

    // The session is done with the reader: it reads no more, and ends when its read, if any, has
    // returned. Waits that long, but at most `timeoutMs`; false when the read is still out.
    bool Quit(uint32_t timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_quit = true;
        m_room.notify_one();
        return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_reading; });
    }

private:
    static constexpr std::chrono::milliseconds kStopPoll{50};
    static constexpr DWORD kBlock = 30720;  // the transfer's block
    static constexpr size_t kAhead = 8;

    struct Block {
        std::vector<char> bytes;
        size_t size = 0;
        size_t taken = 0;
    };

    FtpRead Abandon(FtpRead outcome) {
        m_quit = true;
        m_room.notify_one();
        return outcome;
    }

    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_room.wait(lock, [this] { return m_quit || m_ready.size() < kAhead; });
            if (m_quit) return;
            std::vector<char> bytes;
            if (!m_spare.empty()) {
                bytes = std::move(m_spare.back());
                m_spare.pop_back();
            }
            bytes.resize(kBlock);
            m_reading = true;
            lock.unlock();
            // Only this thread touches the buffer until it is queued.
            DWORD read = 0;
            const BOOL ok = m_calls.readFile(m_file, bytes.data(), kBlock, &read);
            const DWORD error = ok ? 0 : GetLastError();
            lock.lock();
            m_reading = false;
            if (m_quit) {
                m_arrived.notify_all();
                return;
            }
            if (!ok || read == 0) {
                m_ended = true;
                m_ok = ok;
                m_error = error;
                m_arrived.notify_all();
                return;
            }
            m_ready.push_back(Block{std::move(bytes), std::min<size_t>(read, kBlock), 0});
            m_arrived.notify_one();
        }
    }

    const FtpTransferCalls m_calls;
    const HINTERNET m_file;
    std::mutex m_mutex;
    std::condition_variable m_room;     // the reader may read the next block
    std::condition_variable m_arrived;  // a block or the end has come
    std::deque<Block> m_ready;
    std::vector<std::vector<char>> m_spare;
    bool m_ended = false;
    bool m_quit = false;
    bool m_reading = false;
    BOOL m_ok = FALSE;
    DWORD m_error = 0;
};

bool CInternetHandle::Close() {
    if (m_handle == nullptr) return true;
    const BOOL closed = InternetCloseHandle(m_handle);
    m_handle = nullptr;
    return closed != FALSE;
}

CFtpSession::~CFtpSession() { Disconnect(); }

int CFtpSession::Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port) {
    CloseRemoteFile();
    m_hConnection.Close();
    m_hSession.Close();
    m_bConnected = 0;

    wchar_t agent[32];
    swprintf(agent, 32, L"Internet 0x%8.8X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    m_hSession.Reset(InternetOpenW(agent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!m_hSession) {
        const DWORD error = GetLastError();
        LogPlatformError("ftp.internet-open-failed", error);
        m_strLastError = FormatFtpError(L"INTERNET OPEN ERROR!!", error);
        return kFtpError;
    }
    SetTimeouts(m_hSession.Get());

    m_strServer = std::move(server);
    m_strUser = std::move(user);
    m_strPassword = std::move(password);
    m_nPort = port;

    std::wstring response;
    m_hConnection.Reset(OpenConnection(response));
    if (!m_hConnection) {
        const DWORD error = GetLastError();
        LogPlatformError("ftp.connect-failed", error, {{"host", m_strServer}, {"port", m_nPort}});
        m_strLastError = FormatFtpError(L"FTP OPEN ERROR!!", error);
        return kFtpFailed;
    }
    m_bConnected = 1;
    return kFtpSuccess;
}

// Runs InternetConnectW on a helper thread, because some WinINet implementations ignore the
// timeout options while they wait for the server's greeting. After the bound the session handle
// is closed, which cancels the call, and the helper frees whatever connection it still gets.
// The server's response to a failed attempt is recorded per thread, so the helper passes it back.
HINTERNET CFtpSession::OpenConnection(std::wstring& response) {
    struct PendingConnect {
        HINTERNET session;
        std::wstring server, user, password;
        INTERNET_PORT port;
        DWORD_PTR context;
        HINTERNET result = nullptr;
        DWORD error = 0;
        std::wstring response;
        bool done = false;
        bool abandoned = false;
        std::mutex mutex;
        std::condition_variable finished;
    };
    auto call = std::make_shared<PendingConnect>();
    call->session = m_hSession.Get();
    call->server = m_strServer;
    call->user = m_strUser;
    call->password = m_strPassword;
    call->port = m_nPort;
    call->context = reinterpret_cast<DWORD_PTR>(this);

    auto attempt = [call] {
        HINTERNET connection =
            InternetConnectW(call->session, call->server.c_str(), call->port, call->user.c_str(),
                             call->password.c_str(), INTERNET_SERVICE_FTP, kConnectFlags, call->context);
        const DWORD error = GetLastError();
        std::wstring response = connection ? std::wstring() : LastResponseText();
        std::lock_guard<std::mutex> lock(call->mutex);
        if (call->abandoned) {
            if (connection) InternetCloseHandle(connection);
            return;
        }
        call->result = connection;
        call->error = error;
        call->response = std::move(response);
        call->done = true;
        call->finished.notify_one();
    };
    std::thread helper;
    try {
        helper = std::thread(attempt);
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    std::unique_lock<std::mutex> lock(call->mutex);
    if (call->finished.wait_for(lock, std::chrono::milliseconds(kOperationTimeoutMs), [&] { return call->done; })) {
        lock.unlock();
        helper.join();
        response = call->response;
        SetLastError(call->error);
        return call->result;
    }
    call->abandoned = true;
    lock.unlock();
    helper.detach();
    m_hSession.Close();
    m_bConnected = 0;
    response.clear();
    SetLastError(ERROR_INTERNET_TIMEOUT);
    return nullptr;
}

int CFtpSession::ListFiles(const std::wstring& folder, std::vector<FTP_FILE_INFO>& files,
                           const std::wstring& extension) {
    const std::wstring search = ToFtpServerPath(BuildFtpSearchPath(folder, extension));
    WIN32_FIND_DATAW found = {};
    CInternetHandle find;
    find.Reset(FtpFindFirstFileW(m_hConnection.Get(), search.c_str(), &found, 0, 0));
    if (!find) {
        const DWORD error = GetLastError();
        // Wine fails the search of an empty folder without setting an error.
        if (error == ERROR_NO_MORE_FILES || error == ERROR_SUCCESS) {
            m_strLastError = L"ERROR NO FILE!!";
            return kFtpFailed;
        }
        LogPlatformError("ftp.list-failed", error, {{"search", search}});
        m_strLastError = FormatFtpError(L"FILE FIND ERROR!!!!", error);
        return kFtpError;
    }

    int count = 0;
    do {
        if (found.cFileName[0] == L'.' || found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
        const size_t length = wcsnlen(found.cFileName, MAX_PATH);
        if (count == kMaxListedEntries || length > kMaxListedNameLength) {
            LogEvent("ftp.list-unusable", {{"search", search},
                                           {"reason", count == kMaxListedEntries ? "too_many_entries" : "name_too_long"}});
            files.erase(files.end() - count, files.end());
            m_strLastError = L"LISTING TOO LARGE";
            return kFtpError;
        }
        FTP_FILE_INFO info;
        info.dwFileSize = ListedFileSize(found.nFileSizeHigh, found.nFileSizeLow);
        info.SetName(std::wstring(found.cFileName, length));
        files.push_back(info);
        ++count;
    } while (InternetFindNextFileW(find.Get(), &found));
    find.Close();

    if (count == 0) m_strLastError = L"ERROR NO FILE!!";
    return count;
}

bool CFtpSession::ReadSmallFile(const std::wstring& path, size_t limit, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (OpenFile(path) != FtpOpen::Done) return false;
    bool whole = false;
    uint8_t block[4096];
    for (;;) {
        int got = 0;
        if (Read(block, sizeof block, got, kSmallFileTimeoutMs) != FtpRead::Data) break;
        if (got == 0) {
            whole = true;
            break;
        }
        if (bytes.size() + static_cast<size_t>(got) > limit) break;
        bytes.insert(bytes.end(), block, block + got);
    }
    CloseFile();
    if (!whole) bytes.clear();
    return whole;
}

std::wstring CFtpSession::Command(const std::wstring& command) {
    if (m_bConnected == 0) return std::wstring();
    // SIZE and REST are refused in ASCII mode by some servers.
    if (!FtpCommandW(m_hConnection.Get(), FALSE, FTP_TRANSFER_TYPE_BINARY, L"TYPE I", 0, nullptr) &&
        GetLastError() != ERROR_INTERNET_EXTENDED_ERROR)
        return std::wstring();
    if (!FtpCommandW(m_hConnection.Get(), FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr) &&
        GetLastError() != ERROR_INTERNET_EXTENDED_ERROR)
        return std::wstring();  // no reply came: what the thread holds is an older one
    return LastResponseText();
}

int64_t CFtpSession::RemoteFileSize(const std::wstring& path) {
    return ParseSizeReply(Command(L"SIZE " + ToFtpServerPath(BuildFtpOpenPath(path))));
}

FtpOpen CFtpSession::RestartAt(int64_t offset) {
    const std::wstring reply = Command(L"REST " + std::to_wstring(offset));
    if (IsRestartAccepted(reply)) return FtpOpen::Done;
    m_strLastError = reply;
    return IsLineFault(reply) ? FtpOpen::LineFault : FtpOpen::Refused;
}

FtpOpen CFtpSession::OpenFile(const std::wstring& path) {
    if (m_bConnected == 0) return FtpOpen::LineFault;
    const std::wstring remote = ToFtpServerPath(BuildFtpOpenPath(path));
    HINTERNET file = m_calls.openFile(m_hConnection.Get(), remote.c_str(), GENERIC_READ,
                                      INTERNET_FLAG_NO_CACHE_WRITE | FTP_TRANSFER_TYPE_BINARY, 0);
    const DWORD error = GetLastError();
    CloseRemoteFile();
    m_hFile.Reset(file);
    if (m_hFile) {
        m_strCacheCopy = CacheCopyOf(file);
        return FtpOpen::Done;
    }
    const std::wstring reply = error == ERROR_INTERNET_EXTENDED_ERROR ? LastResponseText() : std::wstring();
    m_strLastError = reply.empty() ? FormatFtpError(L"FTP FILE OPEN ERROR!!", error) : reply;
    LogPlatformError("ftp.open-file-failed", error, {{"file", remote}, {"answer", m_strLastError}});
    return IsLineFault(reply) ? FtpOpen::LineFault : FtpOpen::Refused;
}

FtpRead CFtpSession::Read(void* buffer, int count, int& got, uint32_t timeoutMs) {
    got = 0;
    if (!m_hFile || count < 0) return FtpRead::Failed;
    if (!m_pReader) m_pReader = CBlockReader::Start(m_calls, m_hFile.Get());
    if (!m_pReader) return FtpRead::Failed;
    DWORD error = 0;
    const FtpRead result = m_pReader->Read(buffer, count, got, timeoutMs, m_pStop, error);
    if (result == FtpRead::TimedOut || result == FtpRead::Stopped) {
        // The reader stays behind with the file; this session is done with both.
        m_pReader.reset();
        m_bConnected = 0;
        m_strLastError = FormatFtpError(L"FILE READ ERROR!!", ERROR_INTERNET_TIMEOUT);
        if (result == FtpRead::TimedOut) LogEvent("ftp.read-timed-out", {{"ms", timeoutMs}});
    } else if (result != FtpRead::Data) {
        m_strLastError = FormatFtpError(L"FILE READ ERROR!!", error);
        LogPlatformError("ftp.read-failed", error);
    }
    return result;
}

int CFtpSession::CloseFile() {
    if (!m_hFile) return kFtpSuccess;
    if (!CloseRemoteFile()) {
        m_strLastError = FormatFtpError(L"FTP FILE CLOSE ERROR!!", GetLastError());
        return kFtpFailed;
    }
    return kFtpSuccess;
}

void CFtpSession::Disconnect() {
    CloseRemoteFile();
    m_hConnection.Close();
    m_hSession.Close();
    m_bConnected = 0;
}

// Closes the open remote file and removes WinINet's cache copy of it, which would otherwise be
// left outside the work folder (in full after a download, in part after a failed one).
bool CFtpSession::CloseRemoteFile() {
    // A read still out holds the file, and with it WinINet's cache copy, open: let it come back.
    if (m_pReader) {
        m_pReader->Quit(kReaderCloseWaitMs);
        m_pReader.reset();
    }
    const bool closed = m_hFile.Close();
    if (!m_strCacheCopy.empty()) {
        DeleteFileW(m_strCacheCopy.c_str());
        m_strCacheCopy.clear();
    }
    return closed;
}

std::unique_ptr<IFtpSession> MakeFtpSession(const std::atomic<bool>* stop) {
    return std::make_unique<CFtpSessionAdapter>(stop);
}
