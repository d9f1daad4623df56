#include "update/sources/FtpSession.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "framework/BoundedCall.h"
#include "system/DiagnosticsLog.h"
#include "update/sources/SourceListing.h"
#include "update/sources/logic/FtpPaths.h"
#include "update/sources/logic/FtpReplies.h"

namespace {

// A silent server must not hold an operation longer than this, a listing (long on a slow line)
// longer than this.
constexpr DWORD kOperationTimeoutMs = 15000;
constexpr DWORD kListingTimeoutMs = 60000;

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

// What a listing got on its helper: everything it holds is its own.
struct Listed {
    int count = kSessionError;
    std::vector<RemoteEntry> files;
    std::wstring lastError;
};

Listed ListFolder(HINTERNET connection, const std::wstring& search) {
    Listed listed;
    WIN32_FIND_DATAW found = {};
    CInternetHandle find;
    find.Reset(FtpFindFirstFileW(connection, search.c_str(), &found, 0, 0));
    if (!find) {
        const DWORD error = GetLastError();
        // Wine fails the search of an empty folder without setting an error.
        if (error == ERROR_NO_MORE_FILES || error == ERROR_SUCCESS) {
            listed.count = kSessionFailed;
            listed.lastError = L"ERROR NO FILE!!";
            return listed;
        }
        LogPlatformError("ftp.list-failed", error, {{"search", search}});
        listed.lastError = FormatSessionError(L"FILE FIND ERROR!!!!", error);
        return listed;
    }
    listed.count = CollectListing(
        found, [&find](WIN32_FIND_DATAW& next) { return InternetFindNextFileW(find.Get(), &next) != FALSE; },
        [](const WIN32_FIND_DATAW& entry) {
            return entry.cFileName[0] != L'.' && entry.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY;
        },
        listed.files, "ftp.list-unusable", search, listed.lastError);
    return listed;
}

// What opening a file got on its helper; the reply is read there, as WinINet keeps it per thread.
struct Opened {
    HINTERNET file = nullptr;
    DWORD error = 0;
    std::wstring reply;
};

}  // namespace

CFtpSession::~CFtpSession() { Disconnect(); }

ConnectResult CFtpSession::Connect(const SourceConnectionSettings& settings) {
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
        return ConnectResult::NoInternet;
    }
    SetOperationTimeouts(m_hSession.Get(), kOperationTimeoutMs);

    m_strServer = settings.host;
    m_strUser = settings.user;
    m_strPassword = settings.password;
    m_nPort = settings.port;

    m_hConnection.Reset(OpenConnection());
    if (!m_hConnection) {
        const DWORD error = GetLastError();
        m_failure = SourceFailure::Unreachable;
        LogPlatformError("ftp.connect-failed", error, {{"host", m_strServer}, {"port", m_nPort}});
        m_strLastError = FormatSessionError(L"FTP OPEN ERROR!!", error);
        return ConnectResult::Unreachable;
    }
    m_bConnected = 1;
    return ConnectResult::Connected;
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
    switch (RunBounded(L"ftp connect", OperationBoundMs(kOperationTimeoutMs), m_pStop, call, closeLate, got)) {
    case BoundedWait::Done: SetLastError(got.error); return got.connection;
    case BoundedWait::NoThread: SetLastError(ERROR_NOT_ENOUGH_MEMORY); return nullptr;
    default: break;
    }
    m_hSession.Close();  // the helper is left behind: it ends when the call comes back
    m_bConnected = 0;
    SetLastError(ERROR_INTERNET_TIMEOUT);
    return nullptr;
}

uint32_t CFtpSession::OperationBoundMs(uint32_t ownMs) const {
    return WaitWithin(ownMs, m_deadlineTick, GetTickCount64());
}

void CFtpSession::LeaveLine(const char* operation) {
    LogEvent("ftp.operation-abandoned", {{"operation", operation}, {"host", m_strServer}});
    m_bConnected = 0;
    m_failure = SourceFailure::Unreachable;
    m_strLastError = FormatSessionError(L"FTP TIME OUT ERROR!!", ERROR_INTERNET_TIMEOUT);
}

// The search runs on a helper: a server may drip its listing a byte at a time, which no time limit
// of the platform ends, and a read under Wine is not released by closing its handle.
int CFtpSession::ListFiles(const std::wstring& folder, std::vector<RemoteEntry>& files, const std::wstring& extension) {
    m_failure = SourceFailure::None;
    if (m_bConnected == 0) {
        m_strLastError = L"NOT CONNECTED";
        m_failure = SourceFailure::Unreachable;
        return kSessionError;
    }
    const std::wstring search = ToFtpServerPath(BuildFtpSearchPath(folder, extension));
    Listed listed;
    const auto call = [connection = m_hConnection.Get(), search] { return ListFolder(connection, search); };
    const auto ownsNothing = [](Listed&) {};
    if (RunBounded(L"ftp list", OperationBoundMs(kListingTimeoutMs), m_pStop, call, ownsNothing, listed) !=
        BoundedWait::Done) {
        LeaveLine("list");
        return kSessionError;
    }
    m_strLastError = listed.lastError;
    files.insert(files.end(), listed.files.begin(), listed.files.end());
    return listed.count;
}

std::wstring CFtpSession::Command(const std::wstring& command) {
    if (m_bConnected == 0) return std::wstring();
    const auto call = [connection = m_hConnection.Get(), command] {
        // SIZE and REST are refused in ASCII mode by some servers.
        for (const wchar_t* line : {L"TYPE I", command.c_str()}) {
            if (!FtpCommandW(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, line, 0, nullptr) &&
                GetLastError() != ERROR_INTERNET_EXTENDED_ERROR)
                return std::wstring();  // no reply came: what the thread holds is an older one
        }
        return LastResponseText();
    };
    std::wstring reply;
    const auto ownsNothing = [](std::wstring&) {};
    if (RunBounded(L"ftp command", OperationBoundMs(kOperationTimeoutMs), m_pStop, call, ownsNothing, reply) !=
        BoundedWait::Done) {
        LeaveLine("command");
        return std::wstring();
    }
    return reply;
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
    const auto call = [open = m_calls.openFile, connection = m_hConnection.Get(), remote] {
        Opened got;
        got.file =
            open(connection, remote.c_str(), GENERIC_READ, INTERNET_FLAG_NO_CACHE_WRITE | FTP_TRANSFER_TYPE_BINARY, 0);
        got.error = GetLastError();
        if (!got.file && got.error == ERROR_INTERNET_EXTENDED_ERROR) got.reply = LastResponseText();
        return got;
    };
    const auto closeLate = [](Opened& late) {
        if (late.file) InternetCloseHandle(late.file);
    };
    Opened got;
    if (RunBounded(L"ftp open", OperationBoundMs(kOperationTimeoutMs), m_pStop, call, closeLate, got) !=
        BoundedWait::Done) {
        LeaveLine("open");
        return SourceOpen::LineFault;
    }
    m_file.Open(got.file);
    if (m_file) return SourceOpen::Done;
    const SourceOpen outcome =
        Fail(got.reply, got.reply.empty() ? FormatSessionError(L"FTP FILE OPEN ERROR!!", got.error) : got.reply);
    LogPlatformError("ftp.open-file-failed", got.error, {{"file", remote}, {"answer", m_strLastError}});
    return outcome;
}

SourceRead CFtpSession::Read(void* buffer, int count, int& got, uint32_t timeoutMs) {
    DWORD error = 0;
    const uint32_t waitMs = WaitWithin(timeoutMs, m_deadlineTick, GetTickCount64());
    const SourceRead result = m_file.Read(m_calls.readFile, buffer, count, got, waitMs, m_pStop, error, m_strLastError);
    // The reader stays behind with the file; this session is done with both.
    if (result == SourceRead::TimedOut || result == SourceRead::Stopped) m_bConnected = 0;
    if (result != SourceRead::Data && result != SourceRead::Stopped) m_failure = SourceFailure::Unreachable;
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
