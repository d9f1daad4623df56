// The download worker's transfer logic, run against interfaces so it can be driven by scripted
// sessions and files in tests and by WinINet, the file system and the dialog in the program.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "update/catalogue/logic/Catalogue.h"
#include "update/engine/logic/DownloadReport.h"
#include "update/sources/logic/SourceSession.h"
#include "update/engine/logic/LineWatch.h"
#include "update/release/logic/ReleaseRules.h"

constexpr int kTransferBlockSize = 30720;

// The one local file the worker writes at a time, and the folder it goes to.
class ILocalFiles {
public:
    virtual ~ILocalFiles() = default;
    // Creates the folder and any missing parents; the outcome is not looked at.
    virtual void CreateFolderTree(const std::wstring& folder) = 0;
    // Free bytes on the folder's volume for this user, or -1 when unknown.
    virtual int64_t FreeSpace(const std::wstring& folder) = 0;
    // Opens the file with the bytes an earlier run kept of it, where there are any, positioned after
    // them: their count, with up to `tailBytes` of their last ones in `tail`. 0 when nothing is
    // kept; no file is open then.
    virtual int64_t OpenKept(const std::wstring& path, size_t tailBytes, std::vector<unsigned char>& tail) { return 0; }
    // Creates the file for writing, truncating an existing one; false when it cannot be created.
    virtual bool Create(const std::wstring& path) = 0;
    virtual bool Write(const unsigned char* data, int count) = 0;
    // Empties the open file: the next byte written is its first again.
    virtual bool Rewind() = 0;
    // Closes the open file; false when the bytes may not all have reached the disk.
    virtual bool Close() = 0;
    virtual void Delete(const std::wstring& path) = 0;
    // Ends the open file unfinished: removed, unless its bytes are `sound` and kept for a later run.
    virtual void Abandon(const std::wstring& path, bool sound) {
        Close();
        Delete(path);
    }
};

// The worker's surroundings: where it reports, its clock and pauses, and the stop request.
class IDownloadSink : public IDownloadReport {
public:
    virtual uint64_t NowMs() = 0;
    // The pause after each block, and the pieces of a pause before reconnecting.
    virtual void Sleep(unsigned milliseconds) = 0;
    // True once the program is closing; the worker stops at the next block without a notice.
    virtual bool StopRequested() = 0;
};

// Makes a fresh session for each connection.
using SourceSessionFactory = std::function<std::unique_ptr<ISourceSession>()>;

// What the setup program is checked against before the launch, besides its signature.
struct ReleaseExpectation {
    std::shared_ptr<const ReleaseStatement> statement;  // the maker's valid statement, or null
    std::optional<FourPartVersion> installed;           // the installed scanner's version, when known
    bool publisherNamed = false;                        // the build names its publisher
};

struct DownloadRequest {
    std::vector<RemoteEntry> items;
    std::wstring serverFolder;  // download form, ends in a backslash
    std::wstring workFolder;    // ends in a backslash
    SourceConnectionSettings server;
    LineBounds bounds;
    ReleaseExpectation release;
};

// Another source that holds the same file, for a download whose source is gone for good.
struct NextSource {
    SourceConnectionSettings server;
    SourceSessionFactory newSession;
};
// Finds the next source whose signed statement names the file of that name with the same size and
// SHA-256 as the download's; false when none is left. A source is offered once a download.
using NextSourceFinder = std::function<bool(const std::wstring& name, NextSource& next)>;

// Upper-case name with every ".CIF" replaced by ".EXE".
std::wstring LocalNameOf(const std::wstring& name);
// The percentage of a row, passed through float precision; an empty file counts as complete.
float ProgressPercent(int64_t done, int64_t total);

// Downloads every item into the work folder, reporting its facts through `sink`. A connection
// that breaks is made again and the file goes on from the bytes on disk; when the source cannot be
// reached at all or its retries are spent, `nextSource` may name another that holds the same file,
// and the file goes on from there. A file an earlier run kept bytes of goes on from them. A stop
// request ends it without a report and leaves the partial file to `files` to remove or keep.
DownloadResult DownloadUpdates(const DownloadRequest& request, const SourceSessionFactory& newSession,
                               ILocalFiles& files, IDownloadSink& sink,
                               const NextSourceFinder& nextSource = NextSourceFinder());
