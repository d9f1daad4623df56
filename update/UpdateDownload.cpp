// The download worker thread. What it has to show travels as tasks through the owner's queue:
// progress through one coalescing slot, everything else in order, and its end always last.
#include "update/UpdateDownload.h"

#include "update/FtpSession.h"

#include <atomic>
#include <mutex>

namespace {
constexpr DWORD kWorkerStopTimeoutMs = 30000;
constexpr DWORD kWorkerEndTimeoutMs = 5000;  // the worker posts its end as its last act
// The setup program's check reads it whole twice (seconds for a large file under Wine).
constexpr DWORD kSetupCheckTimeoutMs = 180000;
}  // namespace

struct CUpdateDownload::Job {
    DownloadRequest request;
    std::vector<std::wstring> texts;
    std::shared_ptr<CUiTaskQueue> tasks;
    CUpdateDownload* owner = nullptr;  // touched only by tasks, on the owner's thread
    std::atomic<bool> stop{false};
    // Held by the job until its worker takes it over, so the job lives as long as either side.
    std::shared_ptr<Job> self;

    // The latest progress not yet shown; one task at a time carries it to the window.
    std::mutex progressMutex;
    bool progressPending = false;
    int progressRow = -1;
    std::wstring progressText;

    // What the worker ends with, written by the worker before its end is posted.
    bool finished = false;
    std::wstring noticeFirst;
    std::wstring noticeSecond;
    FinishedDownload download;
};

// The transfer's reports, turned into tasks for the owner's thread, and its pauses: the final one
// is where the setup program is checked for the hand-off. Its destructor posts the worker's end, so
// the owner hears of it on every path out of the worker.
class CUpdateDownload::WorkerReport : public IDownloadSink {
public:
    WorkerReport(std::shared_ptr<Job> job, const CLocalFiles& files) : m_job(std::move(job)), m_files(files) {}
    ~WorkerReport() override {
        try {
            std::shared_ptr<Job> job = m_job;
            m_job->tasks->Post([job] { job->owner->OnWorkerEnded(job); });
        } catch (...) {
            // Out of memory: the owner reaps the worker when it stops or closes.
        }
    }
    WorkerReport(const WorkerReport&) = delete;
    WorkerReport& operator=(const WorkerReport&) = delete;

    void ShowProgress(int row, const std::wstring& text) override {
        bool post = false;
        {
            std::lock_guard<std::mutex> lock(m_job->progressMutex);
            post = !m_job->progressPending;
            m_job->progressPending = true;
            m_job->progressRow = row;
            m_job->progressText = text;
        }
        if (!post) return;
        std::shared_ptr<Job> job = m_job;
        job->tasks->Post([job] {
            int row;
            std::wstring text;
            {
                std::lock_guard<std::mutex> lock(job->progressMutex);
                job->progressPending = false;
                row = job->progressRow;
                text = std::move(job->progressText);
            }
            job->owner->m_sink.ShowProgress(row, text);
        });
    }
    void ShowRowState(int row, const std::wstring& text) override {
        std::shared_ptr<Job> job = m_job;
        job->tasks->Post([job, row, text] { job->owner->m_sink.ShowRowState(row, text); });
    }
    void ShowBanner(const std::wstring& text) override {
        std::shared_ptr<Job> job = m_job;
        job->tasks->Post([job, text] { job->owner->m_sink.ShowBanner(text); });
    }
    void Failed(const std::wstring& first, const std::wstring& second) override {
        m_job->noticeFirst = first;
        m_job->noticeSecond = second;
    }
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
    // The setup program is checked and held for the hand-off while the banner asks the user to
    // wait, so the check adds to the road only what it takes beyond the pause.
    void FinalPause(unsigned milliseconds) override {
        const DWORD start = ::GetTickCount();
        m_job->download.setup = CHeldSetup::Check(m_job->request.workFolder, m_files.Written(), kSetupCheckTimeoutMs);
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed < milliseconds) ::Sleep(milliseconds - elapsed);
    }
    bool StopRequested() override { return m_job->stop.load(); }

private:
    std::shared_ptr<Job> m_job;
    const CLocalFiles& m_files;
};

bool CUpdateDownload::Start(DownloadRequest request, std::vector<std::wstring> texts,
                            std::shared_ptr<CUiTaskQueue> tasks) {
    if (m_pWorkerThread || !tasks) return false;
    auto job = std::make_shared<Job>();
    job->request = std::move(request);
    job->texts = std::move(texts);
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
    CLocalFiles files;
    WorkerReport report(job, files);
    CTimerResolution resolution;
    const FtpSessionFactory newSession = [] { return MakeFtpSession(); };
    job->finished = ::DownloadUpdates(job->request, job->texts, newSession, files, report) == 1;
    if (job->finished) job->download.files = files.Written();
    return 0;
}

void CUpdateDownload::OnWorkerEnded(const std::shared_ptr<Job>& job) {
    // An end from a worker that Stop has already reaped is old news.
    if (job != m_pJob || !m_pWorkerThread) return;
    m_pWorkerThread->Wait(kWorkerEndTimeoutMs);
    m_pWorkerThread.reset();
    m_pJob.reset();
    if (job->finished)
        m_sink.DownloadFinished(std::move(job->download));
    else
        m_sink.DownloadFailed(job->noticeFirst, job->noticeSecond);
}

void CUpdateDownload::Stop() {
    if (!m_pWorkerThread) return;
    m_pJob->stop.store(true);
    // The worker never waits for this thread, so a plain bounded wait cannot deadlock.
    m_pWorkerThread->Wait(kWorkerStopTimeoutMs);
    m_pWorkerThread.reset();
    m_pJob.reset();
}
