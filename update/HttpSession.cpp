#include "update/HttpSession.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <mutex>

#include "framework/Thread.h"
#include "system/DiagnosticsLog.h"

namespace {

// A silent server or proxy must not hold an operation longer than this (set on every request
// handle: under Wine a request does not inherit the session's time limits).
constexpr DWORD kOperationTimeoutMs = 15000;
// The wait for an answer, in case the platform's time limits do not end a call: theirs and a margin.
constexpr uint32_t kSendWaitMs = kOperationTimeoutMs + 5000;
constexpr std::chrono::milliseconds kStopPoll{50};
// How long closing a file waits for a read ahead to come back (one block on a live line).
// How long a helper that has handed its answer over may take to end.
constexpr DWORD kHelperExitWaitMs = 1000;
// A header longer than this is not one this program reads.
constexpr DWORD kMaxHeaderBytes = 8192;

constexpr DWORD kRequestFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                                INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION;
constexpr DWORD kCertWeakSignature = 12179;  // ERROR_INTERNET_SEC_CERT_WEAK_SIGNATURE (not in MinGW's header)

bool IsCertificateError(DWORD error) {
    switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case kCertWeakSignature: return true;
    default: return false;
    }
}

// A header of the answer as text ("" when absent): lengths are never asked for as numbers, which
// fails above 4 GiB.
std::wstring QueryHeader(HINTERNET request, DWORD info) {
    std::vector<wchar_t> text(64);
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, info, text.data(), &size, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > kMaxHeaderBytes) return std::wstring();
        text.resize(size / sizeof(wchar_t) + 1);
        size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (!HttpQueryInfoW(request, info, text.data(), &size, nullptr)) return std::wstring();
    }
    return std::wstring(text.data(), wcsnlen(text.data(), text.size()));
}

// The request's object for a path in the download form ("Software\\x.exe") or a URL's ("/a/x.exe").
std::wstring ObjectOf(const UpdateSource& source, const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return HttpsPathOf(source, L"", path);
    return HttpsPathOf(source, path.substr(0, cut), path.substr(cut + 1));
}

}  // namespace

// One request sent on a helper thread. Shared with the helper, which keeps it alive when the session
// stopped waiting and then closes the request it got.
struct CHttpSession::Exchange {
    HINTERNET connection = nullptr;
    std::wstring verb, object, headers, user, password;
    bool withCredentials = false;

    HINTERNET request = nullptr;
    DWORD error = 0;
    unsigned status = 0;
    std::wstring contentRange, contentLength;
    bool done = false;
    bool abandoned = false;
    std::mutex mutex;
    std::condition_variable finished;

    void Run() {
        DWORD failure = 0;
        unsigned answered = 0;
        std::wstring range, length;
        HINTERNET opened =
            HttpOpenRequestW(connection, verb.c_str(), object.c_str(), nullptr, nullptr, nullptr, kRequestFlags, 0);
        if (!opened) {
            failure = GetLastError();
        } else {
            SetOperationTimeouts(opened, kOperationTimeoutMs);
            if (withCredentials) {
                InternetSetOptionW(opened, INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(user.c_str()),
                                   static_cast<DWORD>(user.size() + 1));
                InternetSetOptionW(opened, INTERNET_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(password.c_str()),
                                   static_cast<DWORD>(password.size() + 1));
            }
            if (!HttpSendRequestW(opened, headers.empty() ? nullptr : headers.c_str(),
                                  static_cast<DWORD>(headers.size()), nullptr, 0)) {
                failure = GetLastError();
                InternetCloseHandle(opened);
                opened = nullptr;
            } else {
                const int64_t code = ParseContentLength(QueryHeader(opened, HTTP_QUERY_STATUS_CODE));
                answered = code >= 0 && code <= 999 ? static_cast<unsigned>(code) : 0;
                range = QueryHeader(opened, HTTP_QUERY_CONTENT_RANGE);
                length = QueryHeader(opened, HTTP_QUERY_CONTENT_LENGTH);
            }
        }
        std::lock_guard<std::mutex> lock(mutex);
        if (abandoned) {
            if (opened) InternetCloseHandle(opened);
            return;
        }
        request = opened;
        error = failure;
        status = answered;
        contentRange = std::move(range);
        contentLength = std::move(length);
        done = true;
        finished.notify_one();
    }
};

const char* HttpFailureName(HttpFailure failure) {
    switch (failure) {
    case HttpFailure::None: return "none";
    case HttpFailure::Certificate: return "certificate";
    case HttpFailure::ProxyAuth: return "proxy-auth";
    case HttpFailure::Unreachable: return "unreachable";
    case HttpFailure::Refused: return "refused";
    }
    return "unknown";
}

CHttpSession::CHttpSession(UpdateSource source, const std::atomic<bool>* stop)
    : m_source(std::move(source)), m_pStop(stop) {}

CHttpSession::~CHttpSession() { Disconnect(); }

int CHttpSession::Connect(std::wstring host, std::wstring user, std::wstring password, uint16_t port) {
    Disconnect();
    m_failure = HttpFailure::None;
    m_bProxyWantsCredentials = false;
    m_hSession.Reset(InternetOpenW(L"QuorvelDownloader", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!m_hSession) {
        m_dwLastPlatformError = GetLastError();
        LogPlatformError("http.internet-open-failed", m_dwLastPlatformError);
        m_strLastError = FormatFtpError(L"INTERNET OPEN ERROR!!", m_dwLastPlatformError);
        return kFtpError;
    }
    SetOperationTimeouts(m_hSession.Get(), kOperationTimeoutMs);

    m_strHost = host.empty() ? m_source.host : std::move(host);
    if (port == 0) port = m_source.port != 0 ? m_source.port : INTERNET_DEFAULT_HTTPS_PORT;
    m_strProxyUser = std::move(user);
    m_strProxyPassword = std::move(password);
    // For HTTP this makes no connection yet: the first request does.
    m_hConnection.Reset(
        InternetConnectW(m_hSession.Get(), m_strHost.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!m_hConnection) {
        m_dwLastPlatformError = GetLastError();
        LogPlatformError("http.connect-failed", m_dwLastPlatformError, {{"host", m_strHost}, {"port", port}});
        m_strLastError = FormatFtpError(L"HTTPS OPEN ERROR!!", m_dwLastPlatformError);
        m_failure = HttpFailure::Unreachable;
        return kFtpFailed;
    }
    m_bConnected = true;
    return kFtpSuccess;
}

int CHttpSession::ListFiles(const std::wstring&, std::vector<FTP_FILE_INFO>&, const std::wstring&) {
    m_strLastError = L"NO LISTING OVER HTTPS";
    return kFtpError;
}

bool CHttpSession::SendOnce(const wchar_t* verb, const std::wstring& object, const std::wstring& headers,
                            bool withCredentials, Answer& answer) {
    answer.request.Close();
    answer.error = 0;
    answer.status = 0;
    answer.contentRange.clear();
    answer.contentLength.clear();
    auto call = std::make_shared<Exchange>();
    call->connection = m_hConnection.Get();
    call->verb = verb;
    call->object = object;
    call->headers = headers;
    call->withCredentials = withCredentials;
    if (withCredentials) {
        call->user = m_strProxyUser;
        call->password = m_strProxyPassword;
    }
    const std::unique_ptr<CWinThread> helper = CWinThread::Begin([call] { call->Run(); }, L"https request");
    if (!helper) {
        answer.error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    std::unique_lock<std::mutex> lock(call->mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendWaitMs);
    while (!call->done) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline || (m_pStop && m_pStop->load())) break;
        call->finished.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now, kStopPoll));
    }
    if (!call->done) {
        // The request stays with the helper; this session is done with its connection.
        call->abandoned = true;
        lock.unlock();
        m_bConnected = false;
        answer.error = ERROR_INTERNET_TIMEOUT;
        LogEvent("http.send-abandoned", {{"host", m_strHost}, {"path", object}, {"ms", kSendWaitMs}});
        return false;
    }
    lock.unlock();
    // Only its return is left, and it holds nothing of this session's: bounded all the same.
    helper->Wait(kHelperExitWaitMs);
    answer.request.Reset(call->request);
    answer.error = call->error;
    answer.status = call->status;
    answer.contentRange = std::move(call->contentRange);
    answer.contentLength = std::move(call->contentLength);
    return answer.request.Get() != nullptr;
}

FtpOpen CHttpSession::Send(const wchar_t* verb, const std::wstring& path, int64_t offset, Answer& answer) {
    const std::wstring object = ObjectOf(m_source, path);
    std::wstring headers = RangeHeaderFor(offset);
    if (!headers.empty()) headers += L"\r\n";
    const bool credentials = !m_strProxyUser.empty();
    bool sentCredentials = credentials && m_bProxyWantsCredentials;
    bool answered = SendOnce(verb, object, headers, sentCredentials, answer);
    // After a 407 the same request is never sent again (Wine would then send it in clear text on
    // the proxy's connection): a new one carries the credentials, once.
    if (answered && answer.status == 407 && credentials && !sentCredentials) {
        m_bProxyWantsCredentials = sentCredentials = true;
        LogEvent("http.proxy-credentials-sent", {{"host", m_strHost}});
        answered = SendOnce(verb, object, headers, true, answer);
    }
    m_dwLastPlatformError = answer.error;
    m_nLastStatus = answer.status;
    if (answered) return FtpOpen::Done;
    LogPlatformError("http.send-failed", answer.error, {{"host", m_strHost}, {"path", object}});
    if (IsCertificateError(answer.error))
        return Fail(FtpOpen::Refused, HttpFailure::Certificate,
                    FormatFtpError(L"HTTPS CERTIFICATE ERROR!!", answer.error));
    return Fail(FtpOpen::LineFault, HttpFailure::Unreachable, FormatFtpError(L"HTTPS REQUEST ERROR!!", answer.error));
}

FtpOpen CHttpSession::Fail(FtpOpen outcome, HttpFailure failure, const std::wstring& text) {
    m_failure = failure;
    m_strLastError = text;
    return outcome;
}

int64_t CHttpSession::RemoteFileSize(const std::wstring& path) {
    m_failure = HttpFailure::None;
    if (!m_bConnected) return -1;
    Answer answer;
    if (Send(L"HEAD", path, 0, answer) != FtpOpen::Done) return -1;
    answer.request.Close();
    if (answer.status == 200) return ParseContentLength(answer.contentLength);
    const HttpFetch fetch = JudgeHttpResponse(answer.status, 0, answer.contentRange, answer.contentLength, -1);
    LogEvent("http.size-refused", {{"status", answer.status}, {"verdict", HttpFetchName(fetch)}});
    Fail(FtpOpen::Refused,
         fetch == HttpFetch::ProxyAuth     ? HttpFailure::ProxyAuth
         : fetch == HttpFetch::ServerFault ? HttpFailure::Unreachable
                                           : HttpFailure::Refused,
         FormatFtpError(L"HTTPS SIZE ERROR!!", answer.status));
    return -1;
}

FtpOpen CHttpSession::RestartAt(int64_t offset) {
    m_nOffset = std::max<int64_t>(offset, 0);
    return FtpOpen::Done;
}

FtpOpen CHttpSession::OpenFile(const std::wstring& path) {
    const int64_t offset = m_nOffset;
    m_nOffset = 0;
    return Open(path, offset, m_nExpectedSize);
}

FtpOpen CHttpSession::Open(const std::wstring& path, int64_t offset, int64_t expectedTotal) {
    CloseRemoteFile();
    m_failure = HttpFailure::None;
    m_bRangeIgnored = false;
    if (!m_bConnected) return Fail(FtpOpen::LineFault, HttpFailure::Unreachable, L"NOT CONNECTED");
    Answer answer;
    const FtpOpen sent = Send(L"GET", path, offset, answer);
    if (sent != FtpOpen::Done) return sent;

    const HttpFetch fetch =
        JudgeHttpResponse(answer.status, offset, answer.contentRange, answer.contentLength, expectedTotal);
    if (fetch == HttpFetch::Whole || fetch == HttpFetch::Part) {
        if (fetch == HttpFetch::Whole && offset > 0) {
            m_bRangeIgnored = true;
            LogEvent("http.range-ignored", {{"host", m_strHost}, {"offset", offset}});
        }
        m_nBodyLength = ParseContentLength(answer.contentLength);
        m_nBodyRead = 0;
        m_file.Open(answer.request.Release());
        return FtpOpen::Done;
    }
    answer.request.Close();
    LogEvent("http.open-refused", {{"host", m_strHost},
                                   {"path", ObjectOf(m_source, path)},
                                   {"status", answer.status},
                                   {"offset", offset},
                                   {"verdict", HttpFetchName(fetch)},
                                   {"content_range", answer.contentRange}});
    const std::wstring text = FormatFtpError(L"HTTPS FILE OPEN ERROR!!", answer.status);
    switch (fetch) {
    case HttpFetch::ProxyAuth: return Fail(FtpOpen::Refused, HttpFailure::ProxyAuth, text);
    case HttpFetch::ServerFault: return Fail(FtpOpen::LineFault, HttpFailure::Unreachable, text);
    default: return Fail(FtpOpen::Refused, HttpFailure::Refused, text);
    }
}

FtpRead CHttpSession::Read(void* buffer, int count, int& got, uint32_t timeoutMs) {
    DWORD error = 0;
    const FtpRead result = m_file.Read(InternetReadFile, buffer, count, got, timeoutMs, m_pStop, error);
    if (result == FtpRead::TimedOut || result == FtpRead::Stopped) {
        // The reader stays behind with the request; this session is done with both.
        m_bConnected = false;
        m_strLastError = FormatFtpError(L"FILE READ ERROR!!", ERROR_INTERNET_TIMEOUT);
        if (result == FtpRead::TimedOut) LogEvent("http.read-timed-out", {{"ms", timeoutMs}});
    } else if (result != FtpRead::Data) {
        m_dwLastPlatformError = error;
        m_strLastError = FormatFtpError(L"FILE READ ERROR!!", error);
        LogPlatformError("http.read-failed", error);
    }
    m_nBodyRead += got;
    // A body cut short ends like a whole one under Wine: its length tells them apart.
    if (result == FtpRead::Data && got == 0 && m_nBodyLength >= 0 && m_nBodyRead != m_nBodyLength) {
        m_strLastError = FormatFtpError(L"FILE READ ERROR!!", ERROR_INTERNET_CONNECTION_RESET);
        LogEvent("http.body-cut", {{"read", m_nBodyRead}, {"length", m_nBodyLength}});
        return FtpRead::Failed;
    }
    return result;
}

int CHttpSession::CloseFile() {
    if (!m_file) return kFtpSuccess;
    if (!CloseRemoteFile()) {
        m_strLastError = FormatFtpError(L"HTTPS FILE CLOSE ERROR!!", GetLastError());
        return kFtpFailed;
    }
    return kFtpSuccess;
}

void CHttpSession::Disconnect() {
    CloseRemoteFile();
    m_hConnection.Close();
    m_hSession.Close();
    m_bConnected = false;
}

// Closes the open body, and forgets its length.
bool CHttpSession::CloseRemoteFile() {
    const bool closed = m_file.Close();
    m_nBodyLength = -1;
    m_nBodyRead = 0;
    return closed;
}

HttpFailure HttpFailureOf(const IFtpSession& session) {
    const auto* http = dynamic_cast<const CHttpSession*>(&session);
    return http ? http->LastFailure() : HttpFailure::None;
}

std::unique_ptr<IFtpSession> MakeHttpSession(const UpdateSource& source, const std::atomic<bool>* stop,
                                             int64_t expectedSize) {
    auto session = std::make_unique<CHttpSession>(source, stop);
    session->SetExpectedSize(expectedSize);
    return session;
}
