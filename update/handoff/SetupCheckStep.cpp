// The setup program's check as a step of the road.
#include "update/handoff/SetupCheckStep.h"

namespace {
// The check reads the setup program whole twice (seconds for a large file under Wine).
constexpr DWORD kSetupCheckTimeoutMs = 180000;
// The banner's "please wait" stands at least this long, however quick the check.
constexpr DWORD kFinalPauseMs = 500;
constexpr DWORD kHelperEndTimeoutMs = 5000;  // the helper posts its end as its last act
}  // namespace

struct CSetupCheckStep::Job {
    DownloadRequest request;
    FinishedDownload download;  // the helper's until its end is posted
    Ended ended;
    CSetupCheckStep* owner = nullptr;  // touched only on the owner's thread; null once forgotten
    std::unique_ptr<CWinThread> thread;
};

bool CSetupCheckStep::Start(const DownloadRequest& request, FinishedDownload& download,
                            std::shared_ptr<CUiTaskQueue> tasks, Ended ended) {
    if (m_pJob || !tasks) return false;
    auto job = std::make_shared<Job>();
    job->request = request;
    job->ended = std::move(ended);
    job->owner = this;
    job->download = std::move(download);
    job->thread = CWinThread::Begin(
        [job, tasks] {
            const DWORD start = ::GetTickCount();
            if (job->download.setup) job->download.setup->Verify(job->request, kSetupCheckTimeoutMs);
            const DWORD elapsed = ::GetTickCount() - start;
            if (elapsed < kFinalPauseMs) ::Sleep(kFinalPauseMs - elapsed);
            try {
                tasks->Post([job] {
                    if (job->owner) job->owner->OnEnded(job);
                });
            } catch (...) {
                // Out of memory: the road stays in its check until the driver stops it.
            }
        },
        L"setup check");
    if (!job->thread) {
        download = std::move(job->download);
        return false;
    }
    m_pJob = std::move(job);
    return true;
}

void CSetupCheckStep::OnEnded(const std::shared_ptr<Job>& job) {
    if (job != m_pJob) return;
    job->thread->Wait(kHelperEndTimeoutMs);
    m_pJob.reset();
    job->owner = nullptr;
    job->ended(std::move(job->download));
}

void CSetupCheckStep::Stop() {
    if (!m_pJob) return;
    m_pJob->owner = nullptr;
    m_pJob.reset();
}
