// The download worker's transfer logic, run against interfaces so it can be driven by scripted
// sessions and files in tests and by WinINet, the file system and the dialog in the program.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "update/logic/Catalogue.h"
#include "update/logic/FtpTypes.h"
#include "update/logic/UpdateItem.h"

constexpr int kTransferBlockSize = 30720;

// The one local file the worker writes at a time, and the folder it goes to.
class ILocalFiles {
public:
    virtual ~ILocalFiles() = default;
    // Creates the folder and any missing parents; the outcome is not looked at.
    virtual void CreateFolderTree(const std::wstring& folder) = 0;
    // Creates the file for writing, truncating an existing one; false when it cannot be created.
    virtual bool Create(const std::wstring& path) = 0;
    virtual bool Write(const unsigned char* data, int count) = 0;
    virtual void Close() = 0;
    virtual void Delete(const std::wstring& path) = 0;
};

// What the transfer reports while it runs. The program carries each report out on its
// user-interface thread; the transfer never waits for the window.
class IDownloadSink {
public:
    virtual ~IDownloadSink() = default;
    // Column 3 of the row: the percentage while the file arrives, only when its text changes.
    virtual void ShowProgress(int row, const std::wstring& text) = 0;
    // Column 3 of the row once its file has arrived ("Completed").
    virtual void ShowRowState(int row, const std::wstring& text) = 0;
    virtual void ShowBanner(const std::wstring& text) = 0;
    // The download has failed; the owner shows these lines as a notice once the worker is gone (a
    // one-line notice has an empty second line). A silent failure reports nothing.
    virtual void Failed(const std::wstring& first, const std::wstring& second) = 0;
    // The pause after each block.
    virtual void Sleep(unsigned milliseconds) = 0;
    // After the last item: the worker's last step, lasting at least this long, while the banner asks
    // the user to wait. The program readies the hand-off in it.
    virtual void FinalPause(unsigned milliseconds) = 0;
    // True once the program is closing; the worker stops at the next block without a notice.
    virtual bool StopRequested() = 0;
};

// Makes a fresh session for each item.
using FtpSessionFactory = std::function<std::unique_ptr<IFtpSession>()>;

struct DownloadRequest {
    std::vector<UPDATE_ITEM> items;
    std::wstring serverFolder;  // download form, ends in a backslash
    std::wstring workFolder;    // ends in a backslash
    FtpConnectionSettings server;
};

// The three characters after the last "." (or the first three when there is none) are "exe".
bool HasSetupExtension(const std::wstring& name);
// Upper-case name with every ".CIF" replaced by ".EXE".
std::wstring LocalNameOf(const std::wstring& name);

// Downloads every item into the work folder, reporting through `sink` with texts of the table.
// Returns 1 when every item has arrived; 0 after a failure (reported to the sink) or a stop
// request (nothing reported, partial file deleted).
int DownloadUpdates(const DownloadRequest& request, const std::vector<std::wstring>& texts,
                    const FtpSessionFactory& newSession, ILocalFiles& files, IDownloadSink& sink);
