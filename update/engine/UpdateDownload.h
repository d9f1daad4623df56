// The download: the one worker thread and its job. The worker runs the transfer logic against
// WinINet and the disk, holds the setup program it wrote for its check, and reports through
// the owner's task queue; it never touches a window.
#pragma once

#include "framework/Thread.h"
#include "framework/UiTaskQueue.h"
#include "update/sources/SourceFailover.h"
#include "update/engine/UpdateSink.h"
#include "update/engine/logic/DownloadLogic.h"
#include "update/sources/logic/UpdateSources.h"

#include <memory>

// Test builds only: QV_TEST_LINE_BOUNDS="silenceMs,slowWindowMs,firstPauseMs[,checkTotalMs]" shortens
// the line's bounds so that the end-to-end tests need not wait them out. A release leaves them alone.
void ApplyTestLineBounds(LineBounds& bounds);

class CUpdateDownload {
public:
    explicit CUpdateDownload(IUpdateSink& sink) : m_sink(sink) {}
    ~CUpdateDownload() { Stop(); }
    CUpdateDownload(const CUpdateDownload&) = delete;
    CUpdateDownload& operator=(const CUpdateDownload&) = delete;

    // Starts the worker for the request, fetching from `source` and, when it is gone for good, from
    // a source `failover` finds; its reports run as tasks of `tasks`. False when a worker exists
    // already or the thread cannot start.
    bool Start(DownloadRequest request, UpdateSource source, std::shared_ptr<CUiTaskQueue> tasks,
               std::unique_ptr<CSourceFailover> failover = nullptr);
    // A worker exists: from Start until its end has been handled on the owner's thread.
    bool IsRunning() const { return m_pWorkerThread != nullptr; }
    // Asks a running worker to stop and waits a moment for it to end; its end is then no longer
    // reported. A worker still held by the network after that is left to end with the process,
    // which takes its partial file with it (bytes of a file the statement names are kept).
    void Stop();

private:
    struct Job;
    class WorkerReport;
    static UINT WorkerProc(void* job);
    // On the owner's thread: the worker has ended.
    void OnWorkerEnded(const std::shared_ptr<Job>& job);

    IUpdateSink& m_sink;
    std::unique_ptr<CWinThread> m_pWorkerThread;
    std::shared_ptr<Job> m_pJob;
};
