// What the update engine tells the window that owns it. Every call arrives on the window's own
// thread, whichever thread the engine was on when it had something to say.
#pragma once

#include "update/HeldSetup.h"

#include <string>
#include <vector>

class IUpdateSink {
public:
    virtual ~IUpdateSink() = default;
    // Column 3 of a row: the percentage of its download; coalesced, so only the latest text comes.
    virtual void ShowProgress(int row, const std::wstring& text) = 0;
    // Column 3 of a row once its file has arrived.
    virtual void ShowRowState(int row, const std::wstring& text) = 0;
    virtual void ShowBanner(const std::wstring& text) = 0;
    // The worker has ended after every item arrived, with the files it wrote and its setup program
    // checked and held.
    virtual void DownloadFinished(FinishedDownload download) = 0;
    // The worker has ended without finishing: after a failure, with the lines of its notice (the
    // first empty for a silent failure; a one-line notice has an empty second line).
    virtual void DownloadFailed(const std::wstring& first, const std::wstring& second) = 0;
};
