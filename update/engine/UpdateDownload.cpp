// The download worker thread. What it has to show travels as tasks through the owner's queue:
// progress through one coalescing slot, everything else in order, and its end always last.
#include "update/engine/UpdateDownload.h"

#include "update/sources/SourceSessions.h"
#include "update/engine/logic/KeptDownload.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
// A stop ends a read's wait at once; a connection being made or a command sent to a silent server
// can still hold the worker for the session's own bound, longer than a user waits for Exit.
constexpr DWORD kWorkerStopTimeoutMs = 1500;
constexpr DWORD kWorkerEndTimeoutMs = 5000;  // the worker posts its end as its last act
}  // namespace

void ApplyTestLineBounds(LineBounds& bounds) {
#ifdef QV_TEST_LINE_BOUNDS
    const char* value = std::getenv("QV_TEST_LINE_BOUNDS");
    unsigned silence = 0, window = 0, pause = 0, check = 0;
    if (!value || std::sscanf(value, "%u,%u,%u,%u", &silence, &window, &pause, &check) < 3) return;
    if (silence > 0) bounds.silenceMs = silence;
    if (window > 0) bounds.slowWindowMs = window;
    if (pause > 0) bounds.firstPauseMs = pause;
    if (check > 0) bounds.checkTotalMs = check;
#else
    (void)bounds;
#endif
}

struct CUpdateDownload::Job {
    DownloadRequest request;
    UpdateSource source;
    std::unique_ptr<CSourceFailover> failover;  // touched only by the worker
    std::shared_ptr<CUiTaskQueue> tasks;
    // Touched only on the owner's thread; null once Stop has let the job go, so that what the worker
    // still posts finds nobody.
    CUpdateDownload* owner = nullptr;
    std::atomic<bool> stop{false};
    // Held by the job until its worker takes it over, so the job lives as long as either side.
    std::shared_ptr<Job> self;

    // The latest progress not yet shown; one task at a time carries it to the window.
    std::mutex progressMutex;
    bool progressPending = false;
    DownloadStatus progress;

    // What the worker ends with, written by the worker before its end is posted.
    DownloadResult result = DownloadResult::Stopped;
    FinishedDownload download;
};

// The transfer's reports, turned into tasks for the owner's thread, and its pauses. Its destructor
// posts the worker's end, so the owner hears of it on every path out of the worker.
class CUpdateDownload::WorkerReport : public IDownloadSink {
public:
    explicit WorkerReport(std::shared_ptr<Job> job) : m_job(std::move(job)) {}
    ~WorkerReport() override {
        try {
            std::shared_ptr<Job> job = m_job;
            m_job->tasks->Post([job] {
                if (job->owner) job->owner->OnWorkerEnded(job);
            });
        } catch (...) {
            // Out of memory: the owner reaps the worker when it stops or closes.
        }
    }
    WorkerReport(const WorkerReport&) = delete;
    WorkerReport& operator=(const WorkerReport&) = delete;

    void Report(const DownloadStatus& status) override {
        std::shared_ptr<Job> job = m_job;
        if (status.state != DownloadState::Transferring) {
            job->tasks->Post([job, status] {
                if (job->owner) job->owner->m_sink.Report(status);
            });
            return;
        }
        bool post = false;
        {
            std::lock_guard<std::mutex> lock(job->progressMutex);
            post = !job->progressPending;
            job->progressPending = true;
            job->progress = status;
        }
        if (!post) return;
        job->tasks->Post([job] {
            DownloadStatus latest;
            {
                std::lock_guard<std::mutex> lock(job->progressMutex);
                job->progressPending = false;
                latest = job->progress;
            }
            if (job->owner) job->owner->m_sink.Report(latest);
        });
    }
    uint64_t NowMs() override { return ::GetTickCount64(); }
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
    bool StopRequested() override { return m_job->stop.load(); }

private:
    std::shared_ptr<Job> m_job;
};

bool CUpdateDownload::Start(DownloadRequest request, UpdateSource source, std::shared_ptr<CUiTaskQueue> tasks,
                            std::unique_ptr<CSourceFailover> failover) {
    if (m_pWorkerThread || !tasks) return false;
    auto job = std::make_shared<Job>();
    job->request = std::move(request);
    job->source = std::move(source);
    job->failover = std::move(failover);
    ApplyTestLineBounds(job->request.bounds);
    job->tasks = std::move(tasks);
    job->owner = this;
    job->self = job;
    m_pWorkerThread = CWinThread::Begin(WorkerProc, job.get(), L"QuorvelDownloader worker");
    if (!m_pWorkerThread) {
        job->self.reset();
        return false;
    }
    m_pJob = std::move(job);
    return true;
}

UINT CUpdateDownload::WorkerProc(void* param) {
    const std::shared_ptr<Job> job = std::move(static_cast<Job*>(param)->self);
    CLocalFiles files(KeptOffersOf(job->request));  // the files whose bytes outlive the program
    WorkerReport report(job);
    CTimerResolution resolution;
    const std::atomic<bool>* stop = &job->stop;
    const UpdateSource source = job->source;
    const SourceSessionFactory newSession = [stop, source] { return MakeSourceSession(source, stop); };
    CSourceFailover* failover = job->failover.get();
    NextSourceFinder nextSource;
    if (failover)
        nextSource = [failover, stop](const std::wstring& name, NextSource& next) {
            return failover->Next(name, stop, next);
        };
    job->result = ::DownloadUpdates(job->request, newSession, files, report, nextSource);
    if (job->result == DownloadResult::Completed) {
        // The setup program's hold takes over from the worker's before the worker lets go.
        job->download.files = files.Written();
        job->download.setup = CHeldSetup::Hold(job->request.workFolder, files.Written());
    }
    return 0;
}

void CUpdateDownload::OnWorkerEnded(const std::shared_ptr<Job>& job) {
    // An end from a worker that Stop has already reaped is old news.
    if (job != m_pJob || !m_pWorkerThread) return;
    m_pWorkerThread->Wait(kWorkerEndTimeoutMs);
    m_pWorkerThread.reset();
    m_pJob.reset();
    if (job->result == DownloadResult::Completed)
        m_sink.DownloadFinished(std::move(job->download));
    else
        m_sink.DownloadFailed(job->result);
}

void CUpdateDownload::Stop() {
    if (!m_pWorkerThread) return;
    m_pJob->stop.store(true);
    // The worker never waits for this thread, so a plain bounded wait cannot deadlock.
    const bool ended = m_pWorkerThread->Wait(kWorkerStopTimeoutMs);
    m_pWorkerThread.reset();
    m_pJob->owner = nullptr;
    // Its end is not reported: a setup program it finished and holds is let go now, not when the end
    // it queued finds nobody.
    if (ended) m_pJob->download = FinishedDownload();
    m_pJob.reset();
}
