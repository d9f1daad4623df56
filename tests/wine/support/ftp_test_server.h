// FtpTestServer: runs tests/fixtures/ftpserver.py for a Windows test program under Wine.
//
// Wine starts Unix programs through CreateProcess (it forks and execs them; no process handle
// comes back), so the test program starts /usr/bin/python3 itself; nothing outside the test
// has to prepare a server. The server listens on a free port of 127.0.0.1 (never 5301, so no
// lock is needed), its files live in a fresh folder under /tmp (Z:\tmp\... to Windows), and it is
// stopped through its control file ({"shutdown": true}), with a lifetime limit as a safety net.
//
//   FtpTestServer server;
//   ASSERT_TRUE(server.Start());
//   std::string bytes = server.AddFile(L"Software\\TALVIX_250101.exe", 100000);
//   server.SetFaults(R"({"refuse_login": true})");       // any key of ftpserver.py
//   session.Connect({L"127.0.0.1", kFtpUser, kFtpPassword, server.Port()});
//   EXPECT_TRUE(server.HasRequest("RETR /Software/TALVIX_250101.exe"));
//
// QV_FTP_SERVER_SCRIPT (a Unix path) overrides where ftpserver.py is looked for.
#pragma once

#include "framework/Win32.h"

#include <cstdint>
#include <string>
#include <vector>

extern const wchar_t kFtpUser[];
extern const wchar_t kFtpPassword[];

class FtpTestServer {
public:
    FtpTestServer();
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;

    // Starts the server and waits until it listens; false when it doesn't within the time.
    bool Start(DWORD timeoutMs = 20000);
    void Stop();
    uint16_t Port() const { return m_port; }

    // Paths use the server's view, with either kind of separator ("Software\\a.exe").
    void AddFolder(const std::wstring& ftpPath);
    void AddFile(const std::wstring& ftpPath, const std::string& content);
    // A file of `size` pseudo-random bytes; returns them.
    std::string AddFile(const std::wstring& ftpPath, size_t size);
    // Replaces the faults with a JSON object of ftpserver.py's keys; "{}" clears them.
    void SetFaults(const std::string& json);

    std::vector<std::string> Requests() const;
    bool HasRequest(const std::string& line) const;
    void ClearRequests();

private:
    std::wstring WindowsPath(const std::wstring& name) const;
    std::string UnixPath(const std::string& name) const;

    std::wstring m_workDir;     // Z:\tmp\qv-ftp-...
    std::string m_unixWorkDir;  // /tmp/qv-ftp-...
    uint16_t m_port = 0;
    bool m_running = false;
};

// Writes a whole file; false on any failure.
bool WriteWholeFile(const std::wstring& path, const std::string& content);
// Reads a whole file; empty when it can't be read.
std::string ReadWholeFile(const std::wstring& path);
