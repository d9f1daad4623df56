// What the FTP and the HTTP session share over WinINet: the owning handle, the time limits of an
// operation, CBlockReader, which reads an open file ahead on a thread of its own so that a read that
// hangs can be left behind, and CRemoteFile, the open file with its reader and its cache copy.
#pragma once

#include "framework/Win32.h"
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/BlockQueue.h"
#include "framework/Thread.h"
#include "update/sources/logic/SourceSession.h"

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
    // Hands the handle over to the caller, who closes it.
    HINTERNET Release() {
        HINTERNET handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    // Closes the handle if one is held; false when the system refused.
    bool Close();

private:
    HINTERNET m_handle = nullptr;
};

// Sets the connect, send and receive time limits (control and data) of a handle.
void SetOperationTimeouts(HINTERNET handle, DWORD milliseconds);

// The URL cache file that WinINet copies a download into, or "" when it keeps none. Wine's FTP
// client keeps one for every download whatever the no-cache flag says.
std::wstring CacheCopyOf(HINTERNET file);

// InternetReadFile, or a stand-in that tests put in its place.
using InternetReadCall = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);

// Reads an open remote file ahead, a few blocks at most, so that the line and the disk work side by
// side. Under Wine a read that the server leaves waiting is not released by closing its handles, so
// the session stops waiting and leaves the reader behind: it owns its buffers and never touches the
// caller's, and it ends once its read comes back.
class CBlockReader {
public:
    // Null when no thread could be started.
    static std::shared_ptr<CBlockReader> Start(InternetReadCall read, HINTERNET file);

    CBlockReader(InternetReadCall read, HINTERNET file);

    // Data (0 bytes: the end of the file), Reset or Failed as the reads went; TimedOut or Stopped
    // when nothing came in time and the reader was left behind.
    SourceRead Read(void* buffer, int count, int& got, uint32_t timeoutMs, const std::atomic<bool>* stop, DWORD& error);

    // The session is done with the reader: it reads no more, and ends when its read, if any, has
    // returned. Waits that long, but at most `timeoutMs`; false when the read is still out.
    bool Quit(uint32_t timeoutMs);

private:
    SourceRead Abandon(SourceRead outcome);
    void Run();

    const InternetReadCall m_read;
    const HINTERNET m_file;
    CBlockQueue m_blocks;
    std::unique_ptr<CWinThread> m_thread;
    // Set by the reader before it closes the queue at the end of the file; read once the queue is closed.
    BOOL m_ok = FALSE;
    DWORD m_error = 0;
    // The block being handed out to the session, and how much of it it has taken.
    CBlockQueue::Block m_block;
    size_t m_taken = 0;
};

// The open remote file of a session (an FTP file, an HTTP response body): its handle, the reader
// that the first read starts, and WinINet's cache copy of it, which would otherwise be left outside
// the work folder (in full after a download, in part after a failed one).
class CRemoteFile {
public:
    // `source` names the session's kind in the log ("ftp", "http").
    explicit CRemoteFile(const char* source) : m_source(source) {}
    ~CRemoteFile() { Close(); }
    CRemoteFile(const CRemoteFile&) = delete;
    CRemoteFile& operator=(const CRemoteFile&) = delete;

    // Closes the file open before and takes this one (null: none), noting its cache copy.
    void Open(HINTERNET file);
    explicit operator bool() const { return static_cast<bool>(m_handle); }
    // As CBlockReader::Read, through a reader started with `read` on the first call. After TimedOut
    // or Stopped the reader is left behind with the file, and the session is done with its line.
    // A read that got nothing puts its error text in `lastError` and the log; `error` is WinINet's.
    SourceRead Read(InternetReadCall read, void* buffer, int count, int& got, uint32_t timeoutMs,
                    const std::atomic<bool>* stop, DWORD& error, std::wstring& lastError);
    // Lets a read still out come back (a moment at most), closes the file and removes its cache
    // copy; false when the system refused to close it.
    bool Close();

private:
    const std::string m_source;
    CInternetHandle m_handle;
    std::wstring m_strCacheCopy;
    std::shared_ptr<CBlockReader> m_pReader;
};
