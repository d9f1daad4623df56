#include "update/sources/FtpSession.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "framework/BoundedCall.h"
#include "system/DiagnosticsLog.h"
#include "update/sources/SourceListing.h"
#include "update/sources/logic/FtpPaths.h"

namespace {

// A silent server must not hold an operation longer than this.
constexpr DWORD kOperationTimeoutMs = 15000;

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
    m_failure = SourceFailure::None;

    wchar_t agent[32];
    swprintf(agent, 32, L"Internet 0x%8.8X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    m_hSession.Reset(InternetOpenW(agent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!m_hSession) {
        const DWORD error = GetLastError();
        LogPlatformError("ftp.internet-open-failed", error);
        m_strLastError = FormatSessionError(L"INTERNET OPEN ERROR!!", error);
        m_failure = SourceFailure::Unreachable;
        return kSessionError;
    }
    SetOperationTimeouts(m_hSession.Get(), kOperationTimeoutMs);

    m_strServer = std::move(server);
    m_strUser = std::move(user);
    m_strPassword = std::move(password);
    m_nPort = port;

    m_hConnection.Reset(OpenConnection());
    if (!m_hConnection) {
        const DWORD error = GetLastError();
        m_failure = SourceFailure::Unreachable;
        LogPlatformError("ftp.connect-failed", error, {{"host", m_strServer}, {"port", m_nPort}});
        m_strLastError = FormatSessionError(L"FTP OPEN ERROR!!", error);
        return kSessionFailed;
    }
    m_bConnected = 1;
    return kSessionSuccess;
}

// Runs InternetConnectW on a helper thread, because some WinINet implementations ignore the
// timeout options while they wait for the server's greeting. After the bound the session handle
// is closed, which cancels the call, and the helper frees whatever connection it still gets.
HINTERNET CFtpSession::OpenConnection() {
    struct Connected {
        HINTERNET connection = nullptr;
        DWORD error = 0;
    };
    auto call = [session = m_hSession.Get(), server = m_strServer, user = m_strUser, password = m_strPassword,
                 port = m_nPort, context = reinterpret_cast<DWORD_PTR>(this)] {
        Connected got;
        got.connection = InternetConnectW(session, server.c_str(), port, user.c_str(), password.c_str(),
                                          INTERNET_SERVICE_FTP, kConnectFlags, context);
        got.error = GetLastError();
        return got;
    };
    auto closeLate = [](Connected& late) {
        if (late.connection) InternetCloseHandle(late.connection);
    };
    Connected got;
    switch (RunBounded(L"ftp connect", kOperationTimeoutMs, m_pStop, call, closeLate, got)) {
    case BoundedWait::Done: SetLastError(got.error); return got.connection;
    case BoundedWait::NoThread: SetLastError(ERROR_NOT_ENOUGH_MEMORY); return nullptr;
    default: break;
    }
    m_hSession.Close();  // the helper is left behind: it ends when the call comes back
    m_bConnected = 0;
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
            return kSessionFailed;
        }
        LogPlatformError("ftp.list-failed", error, {{"search", search}});
        m_strLastError = FormatSessionError(L"FILE FIND ERROR!!!!", error);
        return kSessionError;
    }

    const int count = CollectListing(
        found, [&find](WIN32_FIND_DATAW& next) { return InternetFindNextFileW(find.Get(), &next) != FALSE; },
        [](const WIN32_FIND_DATAW& entry) {
            return entry.cFileName[0] != L'.' && entry.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY;
        },
        files, "ftp.list-unusable", search, m_strLastError);
    find.Close();
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

SourceOpen CFtpSession::RestartAt(int64_t offset) {
    const std::wstring reply = Command(L"REST " + std::to_wstring(offset));
    m_failure = SourceFailure::None;
    if (IsRestartAccepted(reply)) return SourceOpen::Done;
    return Fail(reply, reply);
}

SourceOpen CFtpSession::Fail(const std::wstring& reply, const std::wstring& text) {
    m_strLastError = text;
    const bool line = IsLineFault(reply);
    m_failure = line ? SourceFailure::Unreachable : SourceFailure::Refused;
    return line ? SourceOpen::LineFault : SourceOpen::Refused;
}

SourceOpen CFtpSession::OpenFile(const std::wstring& path) {
    m_failure = SourceFailure::None;
    if (m_bConnected == 0) return Fail(L"", L"NOT CONNECTED");
    const std::wstring remote = ToFtpServerPath(BuildFtpOpenPath(path));
    HINTERNET file = m_calls.openFile(m_hConnection.Get(), remote.c_str(), GENERIC_READ,
                                      INTERNET_FLAG_NO_CACHE_WRITE | FTP_TRANSFER_TYPE_BINARY, 0);
    const DWORD error = GetLastError();
    m_file.Open(file);
    if (m_file) return SourceOpen::Done;
    const std::wstring reply = error == ERROR_INTERNET_EXTENDED_ERROR ? LastResponseText() : std::wstring();
    const SourceOpen outcome = Fail(reply, reply.empty() ? FormatSessionError(L"FTP FILE OPEN ERROR!!", error) : reply);
    LogPlatformError("ftp.open-file-failed", error, {{"file", remote}, {"answer", m_strLastError}});
    return outcome;
}

SourceRead CFtpSession::Read(void* buffer, int count, int& got, uint32_t timeoutMs) {
    DWORD error = 0;
    const SourceRead result =
        m_file.Read(m_calls.readFile, buffer, count, got, timeoutMs, m_pStop, error, m_strLastError);
    // The reader stays behind with the file; this session is done with both.
    if (result == SourceRead::TimedOut || result == SourceRead::Stopped) m_bConnected = 0;
    return result;
}

int CFtpSession::CloseFile() {
    if (!m_file) return kSessionSuccess;
    if (!m_file.Close()) {
        m_strLastError = FormatSessionError(L"FTP FILE CLOSE ERROR!!", GetLastError());
        return kSessionFailed;
    }
    return kSessionSuccess;
}

void CFtpSession::Disconnect() {
    m_file.Close();
    m_hConnection.Close();
    m_hSession.Close();
    m_bConnected = 0;
}

std::unique_ptr<ISourceSession> MakeFtpSession(const std::atomic<bool>* stop) {
    return std::make_unique<CFtpSession>(stop);
}
