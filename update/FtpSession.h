// CFtpSession: the program's FTP client over WinINet (one session, one connection, at most one
// open remote file, read on a thread of its own so that a read that hangs can be left behind), and
// CFtpSessionAdapter, which puts it behind IFtpSession for the worker.
#pragma once

#include "framework/Win32.h"
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "update/BlockReader.h"
#include "update/logic/FtpTypes.h"

// The two WinINet calls whose failure can mean a reset connection. Tests replace them to provoke
// a reset, which Wine's client cannot be made to report on demand.
struct FtpTransferCalls {
    HINTERNET(WINAPI* openFile)(HINTERNET, LPCWSTR, DWORD, DWORD, DWORD_PTR) = FtpOpenFileW;
    InternetReadCall readFile = InternetReadFile;
};

class CFtpSession {
public:
    // `stop`, when given, ends a read's wait as soon as it turns true.
    explicit CFtpSession(const std::atomic<bool>* stop = nullptr) : m_pStop(stop) {}
    ~CFtpSession();
    CFtpSession(const CFtpSession&) = delete;
    CFtpSession& operator=(const CFtpSession&) = delete;

    int Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port);
    int ListFiles(const std::wstring& folder, std::vector<FTP_FILE_INFO>& files, const std::wstring& extension);
    int64_t RemoteFileSize(const std::wstring& path);
    FtpOpen RestartAt(int64_t offset);
    FtpOpen OpenFile(const std::wstring& path);
    FtpRead Read(void* buffer, int count, int& got, uint32_t timeoutMs);
    int CloseFile();
    void Disconnect();

    const std::wstring& LastError() const { return m_strLastError; }
    void SetTransferCalls(const FtpTransferCalls& calls) { m_calls = calls; }

private:
    HINTERNET OpenConnection(std::wstring& response);
    // Sends a command on the connection after switching it to binary; the server's reply, or ""
    // when none came.
    std::wstring Command(const std::wstring& command);

    CInternetHandle m_hSession;
    CInternetHandle m_hConnection;
    CRemoteFile m_file;
    std::wstring m_strServer;
    std::wstring m_strUser;
    std::wstring m_strPassword;
    int32_t m_bConnected = 0;
    std::wstring m_strLastError;
    uint16_t m_nPort = INTERNET_DEFAULT_FTP_PORT;
    FtpTransferCalls m_calls;
    const std::atomic<bool>* m_pStop;
};

class CFtpSessionAdapter : public IFtpSession {
public:
    explicit CFtpSessionAdapter(const std::atomic<bool>* stop = nullptr) : m_session(stop) {}
    int Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port) override {
        return m_session.Connect(std::move(server), std::move(user), std::move(password), port);
    }
    int ListFiles(const std::wstring& folder, std::vector<FTP_FILE_INFO>& files,
                  const std::wstring& extension) override {
        return m_session.ListFiles(folder, files, extension);
    }
    int64_t RemoteFileSize(const std::wstring& path) override { return m_session.RemoteFileSize(path); }
    FtpOpen RestartAt(int64_t offset) override { return m_session.RestartAt(offset); }
    FtpOpen OpenFile(const std::wstring& path) override { return m_session.OpenFile(path); }
    FtpRead Read(void* buffer, int count, int& got, uint32_t timeoutMs) override {
        return m_session.Read(buffer, count, got, timeoutMs);
    }
    int CloseFile() override { return m_session.CloseFile(); }
    void Disconnect() override { m_session.Disconnect(); }
    std::wstring LastError() const override { return m_session.LastError(); }

    CFtpSession& Session() { return m_session; }

private:
    CFtpSession m_session;
};

// A fresh WinINet session for one use, as the download worker asks for them; its reads end their
// wait when `stop` turns true.
std::unique_ptr<IFtpSession> MakeFtpSession(const std::atomic<bool>* stop = nullptr);
