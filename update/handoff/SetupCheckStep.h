// The road's Verifying step: the held setup program's check after the last byte, on a thread of
// its own, while the banner asks the user to wait. Its end comes back as a task of the engine's
// queue; it never touches a window.
#pragma once

#include "framework/Thread.h"
#include "framework/UiTaskQueue.h"
#include "update/handoff/HeldSetup.h"

#include <functional>
#include <memory>

class CSetupCheckStep {
public:
    using Ended = std::function<void(FinishedDownload download)>;

    CSetupCheckStep() = default;
    ~CSetupCheckStep() { Stop(); }
    CSetupCheckStep(const CSetupCheckStep&) = delete;
    CSetupCheckStep& operator=(const CSetupCheckStep&) = delete;

    // Checks the download's held setup program against `request` on a helper thread and runs
    // `ended` with the download, its verdict in, as a task of `tasks`; the step lasts at least the
    // banner's pause. False, with `download` left as it was, when a check runs already or the
    // thread cannot start.
    bool Start(const DownloadRequest& request, FinishedDownload& download, std::shared_ptr<CUiTaskQueue> tasks,
               Ended ended);
    bool IsRunning() const { return m_pJob != nullptr; }
    // Forgets a running check: its end is no longer reported. The helper ends by itself within the
    // check's own bound and lets go of the setup program then.
    void Stop();

private:
    struct Job;
    void OnEnded(const std::shared_ptr<Job>& job);

    std::shared_ptr<Job> m_pJob;
};
