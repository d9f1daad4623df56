// The windowless run: check, then (for /update) start, hand off when due, and end with the code.
#include "app/QuietRun.h"

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
    RoadOptions options;
    options.localFolder = m_command.sourceFolder;
    options.mayEndScanner = m_command.endScanner;
    options.stopWhenCurrent = true;
    options.followRollout = true;
    IRoadObserver& observer = *this;
    m_pEngine = std::make_unique<CUpdateEngine>(observer, m_pTasks, options);
    m_pEngine->Check();
    while (!m_bFinished && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!msg.hwnd && msg.message == UM_QUIET_TASKS) {
            m_pTasks->RunPending();
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitCodeOf(m_pEngine->Outcome());
}

void CQuietRun::OnRoadFact(const RoadFact& fact) {
    switch (fact.kind) {
    case RoadFactKind::Checked:
        // A check alone ends here; an update goes on with what the check offered.
        // (Start refused means no fact will follow: the run ends here too.)
        if (m_command.mode == RunMode::Quiet && m_pEngine->State() == RoadState::Ready && m_pEngine->Start({0})) return;
        break;
    case RoadFactKind::HandOffDue: m_pEngine->HandOff(); return;
    case RoadFactKind::Progress:
    case RoadFactKind::Verifying: return;
    case RoadFactKind::DownloadFailed:
    case RoadFactKind::HandedOff:
    case RoadFactKind::Abandoned: break;
    }
    const RoadState state = m_pEngine->State();
    if (state == RoadState::Ready || state == RoadState::Failed || state == RoadState::Done) m_bFinished = true;
}
