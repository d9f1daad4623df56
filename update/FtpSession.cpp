#include "update/FtpSession.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "system/DiagnosticsLog.h"
#include "update/logic/FtpPaths.h"

namespace {

// A silent server must not hold an operation longer than this.
constexpr DWORD kOperationTimeoutMs = 15000;

constexpr DWORD kConnectFlags = INTERNET_FLAG_PASSIVE | INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

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
    return std::wstring(text.data(), std::min<size_t>(length, text.size()));
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
        FTP_FILE_INFO info;
        info.dwFileSize = ListedFileSize(found.nFileSizeHigh, found.nFileSizeLow);
        info.SetName(found.cFileName);
        files.push_back(info);
        ++count;
    } while (InternetFindNextFileW(find.Get(), &found));
    find.Close();

    if (count == 0) m_strLastError = L"ERROR NO FILE!!";
    return count;
}

int CFtpSession::OpenFile(const std::wstring& path) {
    if (m_bConnected == 0) return kFtpFailed;
    const std::wstring remote = ToFtpServerPath(BuildFtpOpenPath(path));
    HINTERNET file = m_calls.openFile(m_hConnection.Get(), remote.c_str(), GENERIC_READ,
                                      INTERNET_FLAG_NO_CACHE_WRITE | FTP_TRANSFER_TYPE_BINARY, 0);
    const DWORD error = GetLastError();
    CloseRemoteFile();
    m_hFile.Reset(file);
    if (m_hFile) {
        m_strCacheCopy = CacheCopyOf(file);
        return kFtpSuccess;
    }
    if (error == ERROR_INTERNET_CONNECTION_RESET) return Reconnect() ? kFtpReconnected : kFtpFailed;
    m_strLastError = LastResponseText();
    LogPlatformError("ftp.open-file-failed", error, {{"file", remote}, {"answer", m_strLastError}});
    return kFtpFailed;
}

int CFtpSession::Read(void* buffer, int count) {
    DWORD read = 0;
    if (count >= 0 && m_calls.readFile(m_hFile.Get(), buffer, static_cast<DWORD>(count), &read))
        return static_cast<int>(read);
    if (count >= 0 && GetLastError() == ERROR_INTERNET_CONNECTION_RESET)
        return Reconnect() ? kFtpReadReconnected : kFtpError;
    LogPlatformError("ftp.read-failed", GetLastError());
    m_strLastError = LastResponseText();
    return kFtpError;
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

// Opens a new connection after a reset and lets the stale file and connection handles go. On
// failure the server's answer (or the failure's code when there is none) is the last error.
bool CFtpSession::Reconnect() {
    std::wstring response;
    HINTERNET connection = OpenConnection(response);
    LogPlatformError("ftp.reconnect", ERROR_INTERNET_CONNECTION_RESET, {{"reconnected", connection != nullptr}});
    if (connection == nullptr) {
        const DWORD error = GetLastError();
        m_strLastError = response.empty() ? FormatFtpError(L"FTP OPEN ERROR!!", error) : response;
        return false;
    }
    CloseRemoteFile();
    m_hConnection.Reset(connection);
    return true;
}

// Closes the open remote file and removes WinINet's cache copy of it, which would otherwise be
// left outside the work folder (in full after a download, in part after a failed one).
bool CFtpSession::CloseRemoteFile() {
    const bool closed = m_hFile.Close();
    if (!m_strCacheCopy.empty()) {
        DeleteFileW(m_strCacheCopy.c_str());
        m_strCacheCopy.clear();
    }
    return closed;
}

std::unique_ptr<IFtpSession> MakeFtpSession() { return std::make_unique<CFtpSessionAdapter>(); }
