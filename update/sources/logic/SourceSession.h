// Records, results and the session interface shared by the FTP client, the catalogue, the
// download worker and their test doubles. Pure: no Win32 types.
#pragma once

#include "update/sources/logic/RemoteEntry.h"

#include <cstdint>
#include <string>
#include <vector>

// The size a listing reports as its two 32-bit halves.
int64_t ListedFileSize(uint32_t high, uint32_t low);
// Wine's listing reports every file of 2 GiB or more as 2147483647 bytes: such a size has to be
// asked of the server itself.
bool ListedSizeMayBeCapped(int64_t size);
// A listing is read up to this many entries; one that holds more cannot be used. Generous for any
// real edition folder, small enough that a hostile listing cannot hold the server check for long.
// (Each line is bounded by the platform's name field: a longer name arrives cut and is not offered.)
constexpr int kMaxListedEntries = 1000;

// Results of ListFiles and CloseFile.
constexpr int kSessionSuccess = 1;
constexpr int kSessionFailed = 0;  // ListFiles: no file; CloseFile: closing failed
constexpr int kSessionError = -1;  // ListFiles: the search failed

// What a session opens with: the FTP account, or the host and port (0: the source's own). A folder
// needs none of it.
struct SourceConnectionSettings {
    std::wstring host;
    std::wstring user;
    std::wstring password;
    uint16_t port = 0;
};

// What opening a session came to.
enum class ConnectResult {
    Connected,
    NoInternet,   // no internet session could be opened at all
    Unreachable,  // the source did not open: no connection to the server, no such folder
};

// Outcome of opening a remote file or asking the server to start it at an offset.
enum class SourceOpen {
    Done,
    Refused,    // the server answered with an error (no such file, no restart in this mode)
    LineFault,  // the connection broke, timed out or is gone
};

// Outcome of one read of the open remote file.
enum class SourceRead {
    Data,      // `got` bytes arrived (0: the server ended the file)
    Reset,     // the connection was reset or aborted
    Failed,    // the read failed otherwise (Wine reports a reset data connection so)
    TimedOut,  // nothing arrived within the time given
    Stopped,   // the caller's stop request ended the wait
};

// Why the last operation of a session got no file: the choice of source tells a line that failed
// from a source that answered.
enum class SourceFailure {
    None,
    Certificate,  // untrusted, expired or wrong-host certificate, or no secure channel
    ProxyAuth,    // the source's proxy wants credentials, or refused the ones given
    Unreachable,  // no answer: name, route, refused or broken connection, time-out, a server fault
    Refused,      // the source answered with a refusal (no such file, forbidden, a wrong range)
};
const char* SourceFailureName(SourceFailure failure);
// The last operation failed for the line (certificate, proxy, no answer), not for the file.
inline bool IsLineFailure(SourceFailure failure) {
    return failure != SourceFailure::None && failure != SourceFailure::Refused;
}

// The offset RestartAt asks for, taken by the next OpenFile.
class RestartOffset {
public:
    // False for a negative offset, which is not remembered.
    bool Set(int64_t offset);
    // The offset asked for (0: none), forgotten once taken.
    int64_t Take();

private:
    int64_t m_offset = 0;
};

// How long a wait bounded by `boundMs` may last when everything must be over by `deadlineTick`
// (0: no deadline): 0 once the deadline has passed. Ticks and bounds in milliseconds.
uint32_t WaitWithin(uint32_t boundMs, uint64_t deadlineTick, uint64_t nowTick);
// The earlier of two deadlines, either 0 for none.
uint64_t EarlierDeadline(uint64_t a, uint64_t b);

// "<title>\r\n ERROR CODE : [ <code> ]", the form of the session's error texts.
std::wstring FormatSessionError(const wchar_t* title, unsigned long code);

// One session with an update source (the FTP server, an HTTPS host, a local folder): the operations
// and the questions the catalogue and the download logic ask of any kind, so that they run against
// every kind alike and against a scripted double.
class ISourceSession {
public:
    virtual ~ISourceSession() = default;
    // The source lists its folders; otherwise the release statement names its files.
    virtual bool CanList() const = 0;
    // The file's size is asked of the source before the first byte too, so that a size it cannot
    // tell after a reconnection counts as a broken line (HTTPS, where the size is the first contact;
    // a folder). An FTP server is asked only when it reconnects, which keeps the first byte quick.
    virtual bool KnowsSizeUpFront() const = 0;
    // The source is trusted only through the maker's signed statement (HTTPS, a folder anyone may
    // fill); an FTP server of today publishes none.
    virtual bool NeedsStatement() const = 0;
    // The file's size as the release statement gives it (-1: unknown), for the files opened after:
    // a source that tells a length refuses a response of another size at once. One that does not
    // (FTP, a folder read as it is) leaves it to the final digest.
    virtual void ExpectSize(int64_t) {}
    // Why the last operation got no file (None after one that succeeded).
    virtual SourceFailure LastFailure() const = 0;
    // The date (seconds since 1970 UTC) the last file opened was served with, when a server vouched
    // for it (an HTTPS answer's Date header); -1 otherwise.
    virtual int64_t ServerDate() const { return -1; }
    // The proxy this session's requests go through, as the user would know it ("" for none).
    virtual std::wstring Proxy() const { return std::wstring(); }
    virtual ConnectResult Connect(const SourceConnectionSettings& settings) = 0;
    // Number of files appended (>= 1); 0: no file; -1: the search failed.
    virtual int ListFiles(const std::wstring& folder, std::vector<RemoteEntry>& files,
                          const std::wstring& extension) = 0;
    // The file's size as the server reports it now (binary mode), or -1 when it cannot tell.
    virtual int64_t RemoteFileSize(const std::wstring& path) = 0;
    // Asks the server to send the next opened file from byte `offset` on.
    virtual SourceOpen RestartAt(int64_t offset) = 0;
    virtual SourceOpen OpenFile(const std::wstring& path) = 0;
    // Reads at most `count` bytes into `buffer`, waiting at most `timeoutMs` for them. A read that
    // does not come back in time is left behind: it never writes into `buffer` afterwards.
    virtual SourceRead Read(void* buffer, int count, int& got, uint32_t timeoutMs) = 0;
    // 1: closed or nothing open; 0: closing failed.
    virtual int CloseFile() = 0;
    virtual void Disconnect() = 0;
    virtual std::wstring LastError() const = 0;

    // No wait of this session lasts beyond `deadlineTick` (GetTickCount64; 0: none), whatever each
    // operation's own bound: a server that drips its answers still ends the operation there.
    void FinishBy(uint64_t deadlineTick) { m_deadlineTick = deadlineTick; }
    uint64_t Deadline() const { return m_deadlineTick; }

protected:
    uint64_t m_deadlineTick = 0;
};
