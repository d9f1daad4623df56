// What the download reports while it runs and how it ends: facts only. The window that owns the
// download turns them into texts and list rows.
#pragma once

#include <cstddef>
#include <cstdint>

enum class DownloadState {
    Connecting,    // the item's first connection is being made
    Transferring,  // bytes are arriving; `done` of `total` are on disk
    Reconnecting,  // the line broke (`fault`); attempt `attempt` goes on from byte `resumeFrom`
    Completed,     // the item's file is on disk in full
};

// Why a connection that stood was given up.
enum class LineFault {
    None,
    Reset,          // reset or aborted by the line or the server
    ReadFailed,     // a failed read
    EndedEarly,     // the data ended before the listed size (how Wine may report a cut connection)
    Silent,         // no byte for the silence bound
    Slow,           // fewer bytes than the slow-line bound over its window
    ConnectFailed,  // a new connection could not be made
    OffsetIgnored,  // the server sent the file from its start despite accepting the offset
    SourceGone,     // the source is gone for good: the next one holding the same file goes on
};

// A fault's name, as the diagnostics log and the tests write it.
inline const char* LineFaultName(LineFault fault) {
    switch (fault) {
    case LineFault::None: return "none";
    case LineFault::Reset: return "reset";
    case LineFault::ReadFailed: return "read-failed";
    case LineFault::EndedEarly: return "ended-early";
    case LineFault::Silent: return "silent";
    case LineFault::Slow: return "slow";
    case LineFault::ConnectFailed: return "connect-failed";
    case LineFault::OffsetIgnored: return "offset-ignored";
    case LineFault::SourceGone: return "source-gone";
    }
    return "unknown";
}

struct DownloadStatus {
    size_t item = 0;  // index into the request's items
    DownloadState state = DownloadState::Connecting;
    int64_t done = 0;
    int64_t total = 0;
    int attempt = 0;  // Reconnecting: 1 for the first reconnection in a row of failures
    LineFault fault = LineFault::None;
    int64_t resumeFrom = 0;
};

// How a download ends.
enum class DownloadResult {
    Completed,
    Stopped,      // on request: nothing reported
    NoInternet,   // no internet session: nothing reported
    InvalidFile,  // a name or size the program does not download
    ConnectFailed,
    RemoteFileUnopenable,
    LocalFileUnopenable,
    ReadFailed,   // includes a line that broke for good
    WriteFailed,  // includes a file whose closing failed
    DiskFull,     // the work folder's volume cannot hold the file
};

// The one report interface of the download, implemented by the worker's relay and by the window.
class IDownloadReport {
public:
    virtual ~IDownloadReport() = default;
    virtual void Report(const DownloadStatus& status) = 0;
};
