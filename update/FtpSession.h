// CFtpSession: the program's FTP client over WinINet (one session, one connection, at most one
// open remote file), and CFtpSessionAdapter, which puts it behind IFtpSession for the worker.
#pragma once

#include "framework/Win32.h"
#include <wininet.h>

#include <memory>
#include <string>
#include <vector>

#include "update/logic/FtpTypes.h"

// Owns one WinINet handle and closes it when replaced or destroyed.
class CInternetHandle {
public:
    CInternetHandle() = default;
    ~CInternetHandle() { Close(); }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;

    HINTERNET Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void Reset(HINTERNET handle) {
        Close();
        m_handle = handle;
    }
    // Closes the handle if one is held; false when the system refused.
    bool Close();

private:
    HINTERNET m_handle = nullptr;
};

// The two WinINet calls whose failure can mean a reset connection. Tests replace them to provoke
// a reset, which a real client cannot be made to report on demand.
struct FtpTransferCalls {
    HINTERNET(WINAPI* openFile)(HINTERNET, LPCWSTR, DWORD, DWORD, DWORD_PTR) = FtpOpenFileW;
    BOOL(WINAPI* readFile)(HINTERNET, LPVOID, DWORD, LPDWORD) = InternetReadFile;
};

class CFtpSession {
public:
    CFtpSession() = default;
    ~CFtpSession();
    CFtpSession(const CFtpSession&) = delete;
    CFtpSession& operator=(const CFtpSession&) = delete;

    int Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port);
    int ListFiles(const std::wstring& folder, std::vector<FTP_FILE_INFO>& files, const std::wstring& extension);
    int OpenFile(const std::wstring& path);
    int Read(void* buffer, int count);
    int CloseFile();
    void Disconnect();

    const std::wstring& LastError() const { return m_strLastError; }
    void SetTransferCalls(const FtpTransferCalls& calls) { m_calls = calls; }

private:
    bool Reconnect();
    HINTERNET OpenConnection(std::wstring& response);
    bool CloseRemoteFile();

    CInternetHandle m_hSession;
    CInternetHandle m_hConnection;
    CInternetHandle m_hFile;
    std::wstring m_strCacheCopy;  // WinINet's cache copy of the open file, removed when it closes
    std::wstring m_strServer;
    std::wstring m_strUser;
    std::wstring m_strPassword;
    int32_t m_bConnected = 0;
    std::wstring m_strLastError;
    // A reconnection goes back to the port the session was connected to.
    uint16_t m_nPort = INTERNET_DEFAULT_FTP_PORT;
    FtpTransferCalls m_calls;
};

class CFtpSessionAdapter : public IFtpSession {
public:
    int Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port) override {
        return m_session.Connect(std::move(server), std::move(user), std::move(password), port);
    }
    int ListFiles(const std::wstring& folder, std::vector<FTP_FILE_INFO>& files,
                  const std::wstring& extension) override {
        return m_session.ListFiles(folder, files, extension);
    }
    int OpenFile(const std::wstring& path) override { return m_session.OpenFile(path); }
    int Read(void* buffer, int count) override { return m_session.Read(buffer, count); }
    int CloseFile() override { return m_session.CloseFile(); }
    void Disconnect() override { m_session.Disconnect(); }
    std::wstring LastError() const override { return m_session.LastError(); }

    CFtpSession& Session() { return m_session; }

private:
    CFtpSession m_session;
};

// A fresh WinINet session for one use, as the download worker asks for them.
std::unique_ptr<IFtpSession> MakeFtpSession();
