// The windowless run: check, then (for /update) start, and end with the road's code once the run
// is over.
#include "app/QuietRun.h"

#include "app/RunDeadline.h"
#include "app/logic/RunPolicy.h"
#include "system/DiagnosticsLog.h"

namespace {
// Wakes this thread to run the engine's queued facts.
constexpr UINT UM_QUIET_TASKS = WM_USER + 9201;
}  // namespace

CQuietRun::~CQuietRun() {
    if (m_pTasks) m_pTasks->Close();
    m_pEngine.reset();
}

int CQuietRun::Run() {
    // The thread's message queue exists before anything is posted to it.
    MSG msg{};
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    m_pTasks = std::make_shared<CUiTaskQueue>(::GetCurrentThreadId(), UM_QUIET_TASKS);
    const bool quiet = m_command.mode == RunMode::Quiet;
    RoadOptions options = RoadOptionsFor(m_command);
    options.deadlineTick = RunDeadlineTick(m_command.timeoutMinutes);
    IRoadObserver& observer = *this;
    m_pEngine = std::make_unique<CUpdateEngine>(observer, m_pTasks, options);
    m_pEngine->Check();
    // The check spends the run's time too: one that used it all up ends the run as the deadline does.
    bool timedOut = quiet && MsUntil(options.deadlineTick) == 0 && m_pEngine->State() != RoadState::Done;
    // A thread timer: its message comes to this loop without a window.
    const UINT_PTR deadline = quiet && !timedOut ? ::SetTimer(nullptr, 0, MsUntil(options.deadlineTick), nullptr) : 0;
    while (!m_bFinished && !timedOut && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!msg.hwnd && msg.message == UM_QUIET_TASKS) {
            m_pTasks->RunPending();
            continue;
        }
        timedOut = deadline && !msg.hwnd && msg.message == WM_TIMER && msg.wParam == deadline;
        if (!timedOut) ::DispatchMessageW(&msg);
    }
    if (deadline) ::KillTimer(nullptr, deadline);
    if (timedOut) {
        m_pEngine->Stop();
        LogEvent("road.deadline", {{"minutes", m_command.timeoutMinutes}});
        return ExitCodeOf(RoadOutcome::TimedOut);
    }
    return ExitCodeOfRun(m_pEngine->Outcome(), m_handedOff.setupWait, m_handedOff.setupExitCode);
}

void CQuietRun::OnRoadFact(const RoadFact& fact) {
    if (fact.kind == RoadFactKind::HandedOff) m_handedOff = fact;
    // An update goes on with what the check offered; a refused start leaves nothing to wait for.
    if (fact.kind == RoadFactKind::Checked && m_command.mode == RunMode::Quiet &&
        m_pEngine->State() == RoadState::Ready && !m_pEngine->Start({0}))
        m_bFinished = true;
    if (RunIsOver(m_command.mode, m_pEngine->State())) m_bFinished = true;
}
