// What the update engine tells the window that owns it. Every call arrives on the window's own
// thread, whichever thread the engine was on when it had something to say.
#pragma once

#include "update/handoff/HeldSetup.h"
#include "update/engine/logic/DownloadReport.h"

class IUpdateSink : public IDownloadReport {
public:
    // Report(): the download's facts in order; of a run of Transferring reports only the latest
    // may come.
    // The worker has ended after every item arrived, with the files it wrote and its setup program
    // held for its check.
    virtual void DownloadFinished(FinishedDownload download) = 0;
    // The worker has ended without finishing (never Completed; Stopped only when nobody asked).
    virtual void DownloadFailed(DownloadResult result) = 0;
};
