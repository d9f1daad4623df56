// The windowless run: check, then (for /update) start, and end with the road's code once the run
// is over.
#include "app/QuietRun.h"

#include "app/logic/RunPolicy.h"

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
    IRoadObserver& observer = *this;
    m_pEngine = std::make_unique<CUpdateEngine>(observer, m_pTasks, RoadOptionsFor(m_command));
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
    // An update goes on with what the check offered; a refused start leaves nothing to wait for.
    if (fact.kind == RoadFactKind::Checked && m_command.mode == RunMode::Quiet &&
        m_pEngine->State() == RoadState::Ready && !m_pEngine->Start({0}))
        m_bFinished = true;
    if (RunIsOver(m_command.mode, m_pEngine->State())) m_bFinished = true;
}
