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

// What the worker asks of the dialog. The program carries each call out on the user-interface
// thread; ShowNotice returns only after the user's answer.
class IDownloadUi {
public:
    virtual ~IDownloadUi() = default;
    virtual void SetDialogEnabled(bool enabled) = 0;
    // Column 3 of the row, repainted; called only when the text changes.
    virtual void SetRowStatus(int row, const std::wstring& text) = 0;
    virtual void SetBanner(const std::wstring& text) = 0;
    // After a failure the worker gives up its place (the dialog's worker pointer becomes null);
    // called after the dialog is enabled and before any notice.
    virtual void ReleaseWorker() = 0;
    // A one-line notice has an empty second line.
    virtual void ShowNotice(const std::wstring& first, const std::wstring& second) = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
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

// Downloads every item into the work folder, reporting through `ui` with texts of the table.
// Returns 1 when every item has arrived; 0 after a failure (the notice has been answered) or a
// stop request (no notice, partial file deleted).
int DownloadUpdates(const DownloadRequest& request, const std::vector<std::wstring>& texts,
                    const FtpSessionFactory& newSession, ILocalFiles& files, IDownloadUi& ui);
