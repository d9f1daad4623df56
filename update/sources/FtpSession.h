// CFtpSession: the program's FTP client over WinINet (one session, one connection, at most one
// open remote file, read on a thread of its own so that a read that hangs can be left behind).
#pragma once

#include "framework/Win32.h"
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "update/sources/RemoteFile.h"
#include "update/sources/logic/SourceSession.h"

// The two WinINet calls whose failure can mean a reset connection. Tests replace them to provoke
// a reset, which Wine's client cannot be made to report on demand.
struct FtpTransferCalls {
    HINTERNET(WINAPI* openFile)(HINTERNET, LPCWSTR, DWORD, DWORD, DWORD_PTR) = FtpOpenFileW;
    InternetReadCall readFile = InternetReadFile;
};

class CFtpSession : public ISourceSession {
public:
    // `stop`, when given, ends a read's wait as soon as it turns true.
    explicit CFtpSession(const std::atomic<bool>* stop = nullptr) : m_pStop(stop) {}
    ~CFtpSession() override;
    CFtpSession(const CFtpSession&) = delete;
    CFtpSession& operator=(const CFtpSession&) = delete;

    bool CanList() const override { return true; }
    bool KnowsSizeUpFront() const override { return false; }
    bool NeedsStatement() const override { return false; }
    SourceFailure LastFailure() const override { return m_failure; }

    ConnectResult Connect(const SourceConnectionSettings& settings) override;
    int ListFiles(const std::wstring& folder, std::vector<RemoteEntry>& files, const std::wstring& extension) override;
    int64_t RemoteFileSize(const std::wstring& path) override;
    SourceOpen RestartAt(int64_t offset) override;
    SourceOpen OpenFile(const std::wstring& path) override;
    SourceRead Read(void* buffer, int count, int& got, uint32_t timeoutMs) override;
    int CloseFile() override;
    void Disconnect() override;
    std::wstring LastError() const override { return m_strLastError; }

    void SetTransferCalls(const FtpTransferCalls& calls) { m_calls = calls; }

private:
    // An operation's bound: its own, or less when the session's deadline comes first.
    uint32_t OperationBoundMs(uint32_t ownMs) const;
    // The line did not answer in time: a call may be left behind on it, so the session is done with it.
    void LeaveLine(const char* operation);
    // InternetConnectW within the operation's bound; null (with the error set) when it failed.
    HINTERNET OpenConnection();
    // The failure of an operation the server answered with `reply` ("" when none came).
    SourceOpen Fail(const std::wstring& reply, const std::wstring& text);
    // Sends a command on the connection after switching it to binary, on a helper within the
    // operation's bound; the server's reply, or "" when none came.
    std::wstring Command(const std::wstring& command);

    CInternetHandle m_hSession;
    CInternetHandle m_hConnection;
    CRemoteFile m_file{"ftp"};
    std::wstring m_strServer;
    std::wstring m_strUser;
    std::wstring m_strPassword;
    int32_t m_bConnected = 0;
    std::wstring m_strLastError;
    SourceFailure m_failure = SourceFailure::None;
    uint16_t m_nPort = INTERNET_DEFAULT_FTP_PORT;
    FtpTransferCalls m_calls;
    const std::atomic<bool>* m_pStop;
};

// A fresh WinINet session for one use, as the download worker asks for them; its reads end their
// wait when `stop` turns true.
std::unique_ptr<ISourceSession> MakeFtpSession(const std::atomic<bool>* stop = nullptr);
