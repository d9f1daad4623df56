// Work on a helper thread, awaited with the windows painting.
#include "framework/BackgroundWork.h"

#include "framework/Thread.h"

#include <atomic>
#include <memory>

namespace {
struct Job {
    std::function<int()> work;
    std::atomic<int> answer{0};
    // Held by the job until its thread takes it over, so it lives as long as either side needs it.
    std::shared_ptr<Job> self;
};

UINT RunJob(void* param) {
    const std::shared_ptr<Job> job = std::move(static_cast<Job*>(param)->self);
    job->answer = job->work();
    return 0;
}
}  // namespace

int RunWhilePainting(std::function<int()> work, DWORD timeoutMs, int whenLate) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->self = job;
    const std::unique_ptr<CWinThread> thread = CWinThread::Begin(RunJob, job.get(), L"background work");
    if (!thread) {
        job->self.reset();
        return job->work();
    }
    const HANDLE done = thread->Handle();
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        // Peeking also delivers the messages sent from other threads.
        while (::PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) ::DispatchMessageW(&msg);
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs) return whenLate;
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &done, FALSE, timeoutMs - elapsed, QS_PAINT | QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) return job->answer;
        if (woke != WAIT_OBJECT_0 + 1) return whenLate;
    }
}
