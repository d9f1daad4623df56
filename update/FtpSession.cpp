#include "update/FtpSession.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <mutex>

#include "framework/Thread.h"
#include "system/DiagnosticsLog.h"
#include "update/logic/FtpPaths.h"

namespace {

// A silent server must not hold an operation longer than this.
constexpr DWORD kOperationTimeoutMs = 15000;
// How long closing a file waits for a read ahead to come back (one block on a live line).
// How long a helper that has handed its answer over may take to end.
constexpr DWORD kHelperExitWaitMs = 1000;

constexpr DWORD kConnectFlags = INTERNET_FLAG_PASSIVE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

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

}  // namespace

CFtpSession::~CFtpSession() { Disconnect(); }

int CFtpSession::Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port) {
    Disconnect();

    wchar_t agent[32];
    swprintf(agent, 32, L"Internet 0x%8.8X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    m_hSession.Reset(InternetOpenW(agent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!m_hSession) {
        const DWORD error = GetLastError();
        LogPlatformError("ftp.internet-open-failed", error);
        m_strLastError = FormatFtpError(L"INTERNET OPEN ERROR!!", error);
        return kFtpError;
    }
    SetOperationTimeouts(m_hSession.Get(), kOperationTimeoutMs);

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
    const std::unique_ptr<CWinThread> helper = CWinThread::Begin(attempt, L"ftp connect");
    if (!helper) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    std::unique_lock<std::mutex> lock(call->mutex);
    if (call->finished.wait_for(lock, std::chrono::milliseconds(kOperationTimeoutMs), [&] { return call->done; })) {
        lock.unlock();
        // Only its return is left, and it holds nothing of this session's: bounded all the same.
        helper->Wait(kHelperExitWaitMs);
        response = call->response;
        SetLastError(call->error);
        return call->result;
    }
    call->abandoned = true;
    lock.unlock();
    m_hSession.Close();  // the helper is left behind: it ends when the call comes back
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
        if (count == kMaxListedEntries) {
            LogEvent("ftp.list-unusable", {{"search", search}, {"reason", "too-many-entries"}});
            files.erase(files.end() - count, files.end());
            m_strLastError = L"LISTING TOO LARGE";
            return kFtpError;
        }
        FTP_FILE_INFO info;
        info.dwFileSize = ListedFileSize(found.nFileSizeHigh, found.nFileSizeLow);
        info.SetName(std::wstring(found.cFileName, wcsnlen(found.cFileName, MAX_PATH)));
        files.push_back(info);
        ++count;
    } while (InternetFindNextFileW(find.Get(), &found));
    find.Close();

    if (count == 0) m_strLastError = L"ERROR NO FILE!!";
    return count;
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
    m_file.Open(file);
    if (m_file) return FtpOpen::Done;
    const std::wstring reply = error == ERROR_INTERNET_EXTENDED_ERROR ? LastResponseText() : std::wstring();
    m_strLastError = reply.empty() ? FormatFtpError(L"FTP FILE OPEN ERROR!!", error) : reply;
    LogPlatformError("ftp.open-file-failed", error, {{"file", remote}, {"answer", m_strLastError}});
    return IsLineFault(reply) ? FtpOpen::LineFault : FtpOpen::Refused;
}

FtpRead CFtpSession::Read(void* buffer, int count, int& got, uint32_t timeoutMs) {
    DWORD error = 0;
    const FtpRead result = m_file.Read(m_calls.readFile, buffer, count, got, timeoutMs, m_pStop, error);
    if (result == FtpRead::TimedOut || result == FtpRead::Stopped) {
        // The reader stays behind with the file; this session is done with both.
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
    if (!m_file) return kFtpSuccess;
    if (!m_file.Close()) {
        m_strLastError = FormatFtpError(L"FTP FILE CLOSE ERROR!!", GetLastError());
        return kFtpFailed;
    }
    return kFtpSuccess;
}

void CFtpSession::Disconnect() {
    m_file.Close();
    m_hConnection.Close();
    m_hSession.Close();
    m_bConnected = 0;
}

std::unique_ptr<IFtpSession> MakeFtpSession(const std::atomic<bool>* stop) {
    return std::make_unique<CFtpSessionAdapter>(stop);
}
