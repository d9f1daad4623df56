// CHttpSession: one HTTPS update source over WinINet's HTTP functions, behind ISourceSession so that
// the download logic runs over it unchanged. Through the system's proxy (its credentials only when
// that proxy asks), certificates checked, redirects followed only to https and a few hops, a
// transfer resumed with a Range request, the body read on a thread of its own (CBlockReader).
#pragma once

#include "framework/Win32.h"
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "update/sources/RemoteFile.h"
#include "update/sources/logic/SourceSession.h"
#include "update/sources/logic/HttpRules.h"
#include "update/sources/logic/UpdateSources.h"

class CHttpSession : public ISourceSession {
public:
    // `stop`, when given, ends a wait as soon as it turns true.
    explicit CHttpSession(UpdateSource source, const std::atomic<bool>* stop = nullptr);
    ~CHttpSession() override;
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    bool CanList() const override { return false; }
    bool KnowsSizeUpFront() const override { return true; }
    bool NeedsStatement() const override { return true; }
    // A response of another size is refused.
    void ExpectSize(int64_t size) override { m_nExpectedSize = size; }
    SourceFailure LastFailure() const override { return m_failure; }
    std::wstring Proxy() const override { return m_strProxy; }
    int64_t ServerDate() const override { return m_nServerDate; }

    // Opens the Internet session (the system's proxy settings) and the connection to `host`:`port`
    // (the source's when empty or 0). `user` and `password` mean nothing here: the credentials the
    // user gave for this session's proxy are sent once that proxy asks. Nothing goes on the line yet.
    ConnectResult Connect(const SourceConnectionSettings& settings) override;
    // HTTP has no listing: the release statement names the files.
    int ListFiles(const std::wstring& folder, std::vector<RemoteEntry>& files, const std::wstring& extension) override;
    // HEAD: the Content-Length of a 200, or -1.
    int64_t RemoteFileSize(const std::wstring& path) override;
    // Remembers the offset for the next OpenFile, which asks for it with a Range header.
    SourceOpen RestartAt(int64_t offset) override;
    SourceOpen OpenFile(const std::wstring& path) override;
    SourceRead Read(void* buffer, int count, int& got, uint32_t timeoutMs) override;
    int CloseFile() override;
    void Disconnect() override;
    std::wstring LastError() const override { return m_strLastError; }

    // The last OpenFile asked for a range and got the whole file (200): its reads start at byte 0,
    // which the download logic finds in the resumed transfer's overlap and starts again.
    bool RangeIgnored() const { return m_bRangeIgnored; }
    // The last WinINet error (0: none) and the last status the server answered (0: none).
    DWORD LastPlatformError() const { return m_dwLastPlatformError; }
    unsigned LastStatus() const { return m_nLastStatus; }

private:
    struct Answer {
        CInternetHandle connection;  // a redirect's own connection, which its request needs open
        CInternetHandle request;     // the open request whose body can be read; null after a failure
        DWORD error = 0;
        unsigned status = 0;
        std::wstring contentRange;
        std::wstring contentLength;
        std::wstring location;
        int64_t date = -1;  // the Date header, seconds since 1970 UTC
    };

    // Sends one request (a new request handle, time limits set, proxy credentials when the proxy
    // wants them), a 407 from the proxy answered once with the credentials, redirects followed;
    // LineFault when no answer came.
    SourceOpen Send(const wchar_t* verb, const std::wstring& path, int64_t offset, Answer& answer);
    // Sends the request again with the credentials when the session's proxy asked for them.
    bool AnswerProxy(const wchar_t* verb, const HttpsTarget& to, const std::wstring& headers, Answer& answer);
    // Follows the answer's redirects to https, a few hops at most; false when one is refused.
    bool FollowRedirects(const wchar_t* verb, const std::wstring& headers, Answer& answer);
    // One request on `connection` on a helper thread, waited for at most the operation's bound or
    // until a stop request; the helper closes what it gets after the session stopped waiting.
    bool SendOnce(HINTERNET connection, const wchar_t* verb, const std::wstring& object, const std::wstring& headers,
                  bool withCredentials, Answer& answer);
    SourceOpen Open(const std::wstring& path, int64_t offset, int64_t expectedTotal);
    SourceOpen Fail(SourceOpen outcome, SourceFailure failure, const std::wstring& text);
    // What a judged response that gives no body means for the choice of source.
    SourceFailure FailureOf(HttpFetch fetch) const;
    bool CloseRemoteFile();

    const UpdateSource m_source;
    const std::atomic<bool>* m_pStop;
    CInternetHandle m_hSession;
    CInternetHandle m_hConnection;
    CRemoteFile m_file{"http"};
    CInternetHandle m_hFileConnection;  // the redirect's connection of the open body, if any
    std::wstring m_strHost;
    uint16_t m_nPort = 0;
    std::wstring m_strProxy;  // the proxy requests go through, "" when direct
    std::wstring m_strProxyUser;
    std::wstring m_strProxyPassword;
    bool m_bConnected = false;
    bool m_bProxyWantsCredentials = false;  // a 407 came: later requests carry the credentials
    bool m_bRangeIgnored = false;
    RestartOffset m_offset;
    int64_t m_nExpectedSize = -1;
    int64_t m_nBodyLength = -1;  // the open body's Content-Length, -1 when not given
    int64_t m_nBodyRead = 0;
    int64_t m_nServerDate = -1;  // the Date of the last body opened
    SourceFailure m_failure = SourceFailure::None;
    DWORD m_dwLastPlatformError = 0;
    unsigned m_nLastStatus = 0;
    std::wstring m_strLastError;
};

// A fresh HTTPS session for one use, as the download worker asks for them: its reads end their wait
// when `stop` turns true.
std::unique_ptr<ISourceSession> MakeHttpSession(const UpdateSource& source, const std::atomic<bool>* stop);
