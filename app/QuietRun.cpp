// The windowless run: check, then (for /update) start, hand off when due, and end with the code.
#include "app/QuietRun.h"

#include "framework/WinApp.h"
#include "system/DiagnosticsLog.h"

namespace {
// Wakes the message-only window to run the engine's queued facts.
constexpr UINT UM_QUIET_TASKS = WM_USER + 9201;
}  // namespace

CQuietRun::~CQuietRun() {
    if (m_pTasks) m_pTasks->Close();
    m_pEngine.reset();
    if (m_hWnd) DestroyWindow();
}

int CQuietRun::Run() {
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!window || !SubclassWindow(window)) return ExitCodeOf(RoadOutcome::None);
    m_pTasks = std::make_shared<CUiTaskQueue>(m_hWnd, UM_QUIET_TASKS);
    RoadOptions options;
    options.mayEndScanner = m_command.endScanner;
    options.stopWhenCurrent = true;
    IRoadObserver& observer = *this;
    m_pEngine = std::make_unique<CUpdateEngine>(observer, m_pTasks, options);
    m_pEngine->Check();
    while (!m_bFinished && CWinApp::PumpMessage()) {
    }
    return ExitCodeOf(m_pEngine->Outcome());
}

LRESULT CQuietRun::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case UM_QUIET_TASKS:
        if (m_pTasks) m_pTasks->RunPending();
        return 0;
    default: return CWnd::WindowProc(msg, wParam, lParam);
    }
}

void CQuietRun::OnRoadFact(const RoadFact& fact) {
    switch (fact.kind) {
    case RoadFactKind::Checked:
        // A check alone ends here; an update goes on with what the check offered.
        if (m_command.mode == RunMode::Quiet && m_pEngine->State() == RoadState::Ready) {
            m_pEngine->Start({0});
            return;
        }
        break;
    case RoadFactKind::HandOffDue: m_pEngine->HandOff(); return;
    case RoadFactKind::Progress:
    case RoadFactKind::Verifying: return;
    case RoadFactKind::DownloadFailed:
    case RoadFactKind::HandedOff:
    case RoadFactKind::Abandoned: break;
    }
    const RoadState state = m_pEngine->State();
    if (state == RoadState::Ready || state == RoadState::Failed || state == RoadState::Done) Finish();
}

void CQuietRun::Finish() { m_bFinished = true; }
