#include "update/sources/HttpSession.h"

#include <algorithm>
#include <cwchar>

#include "framework/BoundedCall.h"
#include "system/DiagnosticsLog.h"
#include "update/sources/ProxyCredentials.h"

namespace {

// A silent server or proxy must not hold an operation longer than this (set on every request
// handle: under Wine a request does not inherit the session's time limits).
constexpr DWORD kOperationTimeoutMs = 15000;
// The wait for an answer, in case the platform's time limits do not end a call: theirs and a margin.
constexpr uint32_t kSendWaitMs = kOperationTimeoutMs + 5000;
// A header longer than this is not one this program reads.
constexpr DWORD kMaxHeaderBytes = 8192;

// Redirects are the session's to judge: WinINet would follow them to any host, and Wine's from https
// to http.
constexpr DWORD kRequestFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                                INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT;
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

// What one request got: the helper's part of an exchange.
struct Exchanged {
    HINTERNET request = nullptr;
    DWORD error = 0;
    unsigned status = 0;
    std::wstring contentRange, contentLength, location;
    int64_t date = -1;
};

// The answer's Date header, parsed by the platform; -1 when there is none it can read.
int64_t DateOf(HINTERNET request) {
    SYSTEMTIME date{};
    DWORD size = sizeof date;
    FILETIME time{};
    if (!HttpQueryInfoW(request, HTTP_QUERY_DATE | HTTP_QUERY_FLAG_SYSTEMTIME, &date, &size, nullptr) ||
        !SystemTimeToFileTime(&date, &time))
        return -1;
    return UnixSecondsOf(time);
}

// One request, sent on the helper thread: everything it uses is its own.
struct Request {
    HINTERNET connection = nullptr;
    std::wstring verb, object, headers, user, password;
    bool withCredentials = false;

    Exchanged Run() const {
        Exchanged got;
        got.request =
            HttpOpenRequestW(connection, verb.c_str(), object.c_str(), nullptr, nullptr, nullptr, kRequestFlags, 0);
        if (!got.request) {
            got.error = GetLastError();
            return got;
        }
        SetOperationTimeouts(got.request, kOperationTimeoutMs);
        if (withCredentials) {
            InternetSetOptionW(got.request, INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(user.c_str()),
                               static_cast<DWORD>(user.size() + 1));
            InternetSetOptionW(got.request, INTERNET_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(password.c_str()),
                               static_cast<DWORD>(password.size() + 1));
        }
        if (!HttpSendRequestW(got.request, headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), nullptr, 0)) {
            got.error = GetLastError();
            InternetCloseHandle(got.request);
            got.request = nullptr;
            return got;
        }
        const int64_t code = ParseContentLength(QueryHeader(got.request, HTTP_QUERY_STATUS_CODE));
        got.status = code >= 0 && code <= 999 ? static_cast<unsigned>(code) : 0;
        got.contentRange = QueryHeader(got.request, HTTP_QUERY_CONTENT_RANGE);
        got.contentLength = QueryHeader(got.request, HTTP_QUERY_CONTENT_LENGTH);
        if (IsRedirectStatus(got.status)) got.location = QueryHeader(got.request, HTTP_QUERY_LOCATION);
        got.date = DateOf(got.request);
        return got;
    }
};

// The proxy the session's https requests for `host` go through ("" when direct), as WinINet took it
// from the system's settings.
std::wstring ProxyOf(HINTERNET session, const std::wstring& host) {
    // INTERNET_PROXY_INFO as the wide call fills it (MinGW's header declares only the narrow form).
    struct ProxyInfo {
        DWORD dwAccessType;
        LPCWSTR lpszProxy;
        LPCWSTR lpszProxyBypass;
    };
    std::vector<unsigned char> buffer(4096);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!InternetQueryOptionW(session, INTERNET_OPTION_PROXY, buffer.data(), &size) || size < sizeof(ProxyInfo))
        return std::wstring();
    const auto* info = reinterpret_cast<const ProxyInfo*>(buffer.data());
    if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || !info->lpszProxy) return std::wstring();
    const std::wstring bypass = info->lpszProxyBypass ? info->lpszProxyBypass : L"";
    return HttpsProxyFor(info->lpszProxy, bypass, host);
}

}  // namespace

CHttpSession::CHttpSession(UpdateSource source, const std::atomic<bool>* stop)
    : m_source(std::move(source)), m_pStop(stop) {}

CHttpSession::~CHttpSession() { Disconnect(); }

ConnectResult CHttpSession::Connect(const SourceConnectionSettings& settings) {
    Disconnect();
    m_failure = SourceFailure::None;
    m_bProxyWantsCredentials = false;
    m_hSession.Reset(InternetOpenW(L"QuorvelDownloader", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!m_hSession) {
        m_dwLastPlatformError = GetLastError();
        LogPlatformError("http.internet-open-failed", m_dwLastPlatformError);
        m_strLastError = FormatSessionError(L"INTERNET OPEN ERROR!!", m_dwLastPlatformError);
        return ConnectResult::NoInternet;
    }
    SetOperationTimeouts(m_hSession.Get(), kOperationTimeoutMs);

    m_strHost = settings.host.empty() ? m_source.host : settings.host;
    uint16_t port = settings.port;
    if (port == 0) port = m_source.port != 0 ? m_source.port : INTERNET_DEFAULT_HTTPS_PORT;
    m_nPort = port;
    m_strProxy = ProxyOf(m_hSession.Get(), m_strHost);
    m_strProxyUser.clear();
    m_strProxyPassword.clear();
    ProxyCredentialsFor(m_strProxy, m_strProxyUser, m_strProxyPassword);
    // For HTTP this makes no connection yet: the first request does.
    m_hConnection.Reset(
        InternetConnectW(m_hSession.Get(), m_strHost.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!m_hConnection) {
        m_dwLastPlatformError = GetLastError();
        LogPlatformError("http.connect-failed", m_dwLastPlatformError, {{"host", m_strHost}, {"port", port}});
        m_strLastError = FormatSessionError(L"HTTPS OPEN ERROR!!", m_dwLastPlatformError);
        m_failure = SourceFailure::Unreachable;
        return ConnectResult::Unreachable;
    }
    m_bConnected = true;
    return ConnectResult::Connected;
}

int CHttpSession::ListFiles(const std::wstring&, std::vector<RemoteEntry>&, const std::wstring&) {
    m_strLastError = L"NO LISTING OVER HTTPS";
    return kSessionError;
}

bool CHttpSession::SendOnce(HINTERNET connection, const wchar_t* verb, const std::wstring& object,
                            const std::wstring& headers, bool withCredentials, Answer& answer) {
    answer.request.Close();
    answer.error = 0;
    answer.status = 0;
    answer.contentRange.clear();
    answer.contentLength.clear();
    answer.location.clear();
    answer.date = -1;
    Request request{connection, verb, object, headers, std::wstring(), std::wstring(), withCredentials};
    if (withCredentials) {
        request.user = m_strProxyUser;
        request.password = m_strProxyPassword;
    }
    Exchanged got;
    const uint32_t waitMs = WaitWithin(kSendWaitMs, m_deadlineTick, GetTickCount64());
    const BoundedWait waited = RunBounded(
        L"https request", waitMs, m_pStop, [request] { return request.Run(); },
        [](Exchanged& late) {
            if (late.request) InternetCloseHandle(late.request);
        },
        got);
    if (waited == BoundedWait::NoThread) {
        answer.error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    if (waited != BoundedWait::Done) {
        // The request stays with the helper; this session is done with its connection.
        m_bConnected = false;
        answer.error = ERROR_INTERNET_TIMEOUT;
        LogEvent("http.send-abandoned", {{"host", m_strHost}, {"path", object}, {"ms", waitMs}});
        return false;
    }
    answer.request.Reset(got.request);
    answer.error = got.error;
    answer.status = got.status;
    answer.contentRange = std::move(got.contentRange);
    answer.contentLength = std::move(got.contentLength);
    answer.location = std::move(got.location);
    answer.date = got.date;
    return answer.request.Get() != nullptr;
}

SourceOpen CHttpSession::Send(const wchar_t* verb, const std::wstring& path, int64_t offset, Answer& answer) {
    const HttpsTarget to{m_strHost, m_nPort, ObjectOf(m_source, path)};
    std::wstring headers = RangeHeaderFor(offset);
    if (!headers.empty()) headers += L"\r\n";
    const bool sentCredentials = !m_strProxyUser.empty() && m_bProxyWantsCredentials;
    bool answered = SendOnce(m_hConnection.Get(), verb, to.object, headers, sentCredentials, answer);
    if (answered && !sentCredentials) answered = AnswerProxy(verb, to, headers, answer);
    m_dwLastPlatformError = answer.error;
    m_nLastStatus = answer.status;
    if (answered) {
        if (FollowRedirects(verb, headers, answer)) return SourceOpen::Done;
        answer.request.Close();
        return Fail(SourceOpen::Refused, SourceFailure::Refused,
                    FormatSessionError(L"HTTPS REDIRECT ERROR!!", answer.status));
    }
    LogPlatformError("http.send-failed", answer.error, {{"host", m_strHost}, {"path", to.object}});
    if (IsCertificateError(answer.error))
        return Fail(SourceOpen::Refused, SourceFailure::Certificate,
                    FormatSessionError(L"HTTPS CERTIFICATE ERROR!!", answer.error));
    return Fail(SourceOpen::LineFault, SourceFailure::Unreachable,
                FormatSessionError(L"HTTPS REQUEST ERROR!!", answer.error));
}

// After a 407 the same request is never sent again (Wine would then send it in clear text on the
// proxy's connection): a new one carries the credentials, once. Only the proxy in front of the
// source asks; a 407 from anyone else is an answer like any other, and no credentials go to it.
bool CHttpSession::AnswerProxy(const wchar_t* verb, const HttpsTarget& to, const std::wstring& headers,
                               Answer& answer) {
    if (answer.status != 407 || m_strProxy.empty() || m_strProxyUser.empty()) return true;
    m_bProxyWantsCredentials = true;
    LogEvent("http.proxy-credentials-sent", {{"host", m_strHost}, {"proxy", m_strProxy}});
    return SendOnce(m_hConnection.Get(), verb, to.object, headers, true, answer);
}

bool CHttpSession::FollowRedirects(const wchar_t* verb, const std::wstring& headers, Answer& answer) {
    HttpsTarget at{m_strHost, m_nPort, std::wstring()};
    int hops = 0;
    while (IsRedirectStatus(answer.status)) {
        HttpsTarget next;
        const RedirectStep step = JudgeRedirect(answer.location, at, hops, next);
        if (step != RedirectStep::Follow) {
            LogEvent("http.redirect-refused", {{"host", at.host},
                                               {"status", answer.status},
                                               {"location", answer.location},
                                               {"why", RedirectStepName(step)}});
            return false;
        }
        ++hops;
        answer.request.Close();
        answer.connection.Reset(InternetConnectW(m_hSession.Get(), next.host.c_str(), next.port, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, 0));
        // The credentials go only where the same proxy carries the request on.
        const bool credentials = m_bProxyWantsCredentials && !m_strProxyUser.empty() &&
                                 ProxyKey(ProxyOf(m_hSession.Get(), next.host)) == ProxyKey(m_strProxy);
        if (!answer.connection || !SendOnce(answer.connection.Get(), verb, next.object, headers, credentials, answer)) {
            m_dwLastPlatformError = answer.error;
            LogPlatformError("http.redirect-failed", answer.error, {{"host", next.host}});
            return false;
        }
        m_nLastStatus = answer.status;
        at = next;
    }
    if (hops > 0) LogEvent("http.redirected", {{"from", m_strHost}, {"host", at.host}, {"hops", hops}});
    return true;
}

SourceOpen CHttpSession::Fail(SourceOpen outcome, SourceFailure failure, const std::wstring& text) {
    m_failure = failure;
    m_strLastError = text;
    return outcome;
}

SourceFailure CHttpSession::FailureOf(HttpFetch fetch) const {
    switch (ThroughProxy(fetch, !m_strProxy.empty())) {
    case HttpFetch::ProxyAuth: return SourceFailure::ProxyAuth;
    case HttpFetch::ServerFault: return SourceFailure::Unreachable;
    default: return SourceFailure::Refused;
    }
}

int64_t CHttpSession::RemoteFileSize(const std::wstring& path) {
    m_failure = SourceFailure::None;
    if (!m_bConnected) return -1;
    Answer answer;
    if (Send(L"HEAD", path, 0, answer) != SourceOpen::Done) return -1;
    answer.request.Close();
    const HttpFetch fetch =
        JudgeHttpResponse(answer.status, 0, answer.contentRange, answer.contentLength, m_nExpectedSize);
    if (answer.status == 200 && fetch == HttpFetch::Whole) return ParseContentLength(answer.contentLength);
    LogEvent("http.size-refused", {{"status", answer.status}, {"verdict", HttpFetchName(fetch)}});
    Fail(SourceOpen::Refused, FailureOf(fetch), FormatSessionError(L"HTTPS SIZE ERROR!!", answer.status));
    return -1;
}

SourceOpen CHttpSession::RestartAt(int64_t offset) {
    return m_offset.Set(offset) ? SourceOpen::Done : SourceOpen::Refused;
}

SourceOpen CHttpSession::OpenFile(const std::wstring& path) { return Open(path, m_offset.Take(), m_nExpectedSize); }

SourceOpen CHttpSession::Open(const std::wstring& path, int64_t offset, int64_t expectedTotal) {
    CloseRemoteFile();
    m_failure = SourceFailure::None;
    m_bRangeIgnored = false;
    if (!m_bConnected) return Fail(SourceOpen::LineFault, SourceFailure::Unreachable, L"NOT CONNECTED");
    Answer answer;
    const SourceOpen sent = Send(L"GET", path, offset, answer);
    if (sent != SourceOpen::Done) return sent;

    const HttpFetch fetch =
        JudgeHttpResponse(answer.status, offset, answer.contentRange, answer.contentLength, expectedTotal);
    if (fetch == HttpFetch::Whole || fetch == HttpFetch::Part) {
        if (fetch == HttpFetch::Whole && offset > 0) {
            m_bRangeIgnored = true;
            LogEvent("http.range-ignored", {{"host", m_strHost}, {"offset", offset}});
        }
        m_nBodyLength = ParseContentLength(answer.contentLength);
        m_nBodyRead = 0;
        m_nServerDate = answer.date;
        m_file.Open(answer.request.Release());
        m_hFileConnection.Reset(answer.connection.Release());
        return SourceOpen::Done;
    }
    answer.request.Close();
    LogEvent("http.open-refused", {{"host", m_strHost},
                                   {"path", ObjectOf(m_source, path)},
                                   {"status", answer.status},
                                   {"offset", offset},
                                   {"verdict", HttpFetchName(fetch)},
                                   {"content_range", answer.contentRange}});
    const SourceFailure failure = FailureOf(fetch);
    return Fail(failure == SourceFailure::Unreachable ? SourceOpen::LineFault : SourceOpen::Refused, failure,
                FormatSessionError(L"HTTPS FILE OPEN ERROR!!", answer.status));
}

SourceRead CHttpSession::Read(void* buffer, int count, int& got, uint32_t timeoutMs) {
    DWORD error = 0;
    const uint32_t waitMs = WaitWithin(timeoutMs, m_deadlineTick, GetTickCount64());
    const SourceRead result = m_file.Read(InternetReadFile, buffer, count, got, waitMs, m_pStop, error, m_strLastError);
    // The reader stays behind with the request; this session is done with both.
    if (result == SourceRead::TimedOut || result == SourceRead::Stopped) m_bConnected = false;
    if (result != SourceRead::Data && result != SourceRead::Stopped) m_failure = SourceFailure::Unreachable;
    if (result != SourceRead::Data && error != 0) m_dwLastPlatformError = error;
    m_nBodyRead += got;
    // A body cut short ends like a whole one under Wine: its length tells them apart.
    if (result == SourceRead::Data && got == 0 && m_nBodyLength >= 0 && m_nBodyRead != m_nBodyLength) {
        m_strLastError = FormatSessionError(L"FILE READ ERROR!!", ERROR_INTERNET_CONNECTION_RESET);
        m_failure = SourceFailure::Unreachable;
        LogEvent("http.body-cut", {{"read", m_nBodyRead}, {"length", m_nBodyLength}});
        return SourceRead::Failed;
    }
    return result;
}

int CHttpSession::CloseFile() {
    if (!m_file) return kSessionSuccess;
    if (!CloseRemoteFile()) {
        m_strLastError = FormatSessionError(L"HTTPS FILE CLOSE ERROR!!", GetLastError());
        return kSessionFailed;
    }
    return kSessionSuccess;
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
    m_hFileConnection.Close();
    m_nBodyLength = -1;
    m_nBodyRead = 0;
    return closed;
}

std::unique_ptr<ISourceSession> MakeHttpSession(const UpdateSource& source, const std::atomic<bool>* stop) {
    return std::make_unique<CHttpSession>(source, stop);
}
