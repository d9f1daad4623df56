// The main dialog's life: initialisation, message dispatch, dragging, the commands and the end of
// the run.
#include "app/QuorvelDownloadDlg.h"

#include "app/RunDeadline.h"
#include "app/logic/RunPolicy.h"
#include "controls/ListMessages.h"
#include "controls/logic/DpiScale.h"
#include "framework/Dpi.h"
#include "resources/resource.h"
#include "system/EnvironmentProbes.h"
#include "system/LocalText.h"
#include "system/DiagnosticsLog.h"

namespace {
constexpr int kExitCodeOfExitButton = 18;
constexpr UINT_PTR kDeadlineTimer = 1;
}  // namespace

CQuorvelDownloadDlg::CQuorvelDownloadDlg(CWnd* parent, RunCommand command)
    : CDialog(IDD_QUORVELDOWNLOAD_DIALOG, parent),
      m_listHeader(probes::GetModuleFolder()),
      m_listItems(probes::GetModuleFolder()),
      m_msgBox(this),
      m_command(std::move(command)) {}

CQuorvelDownloadDlg::~CQuorvelDownloadDlg() {
    if (m_pTasks) m_pTasks->Close();
    m_pEngine.reset();
}

void CQuorvelDownloadDlg::DoDataExchange() {
    m_listItems.SetExactScroll(1);
    m_listHeader.SetExactScroll(1);
    // The lists' fonts follow the system's default language, chosen before the user-interface one.
    ChooseLanguageFromSystemDefault();
    for (CMultilineList* list : {&m_listItems, &m_listHeader}) {
        list->SetLanguage(LanguageIndex);
        list->SetMessageTitle(probes::GetModuleFileTitle());
    }
    m_listItems.SubclassDlgItem(IDC_LIST_ITEMS, this);
    m_listHeader.SubclassDlgItem(IDC_LIST_HEADER, this);
    m_listItems.SetColors(RGB(118, 148, 178), RGB(255, 255, 255), RGB(235, 235, 235), RGB(162, 215, 254), 0);
}

BOOL CQuorvelDownloadDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_pTasks = std::make_shared<CUiTaskQueue>(m_hWnd, UM_RUN_TASKS);
    RoadOptions options = RoadOptionsFor(m_command);
    if (options.unattended) {
        options.deadlineTick = RunDeadlineTick(m_command.timeoutMinutes);
        ::SetTimer(m_hWnd, kDeadlineTimer, MsUntil(options.deadlineTick), nullptr);
    }
    IRoadObserver& observer = *this;
    m_pEngine = std::make_unique<CUpdateEngine>(observer, m_pTasks, options);

    // The window lays itself out at its monitor's DPI, and again when that changes.
    SetUiScale(DpiScale(WindowDpi(m_hWnd)));
    KeepDialogLayoutOnDpiChange(m_hWnd);
    const SIZE size = LoadBackground();
    m_msgBox.SetLanguage(LanguageIndex);
    m_msgBox.Create(IDD_MSG_BOX, this);
    SetWindowPos(nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER);

    ChooseLanguageFromUserInterface();
    g_localText.Load();
    LogEvent("window", {{"texts", LanguageIndex == 1 ? "korean" : "english"}});
    // The taskbar button and automation tools show the same title the window paints.
    SetWindowText(kMainWindowTitle);

    BuildControls();
    CenterWindow();
    KeepOnMonitor(GetWindowRect());
    CheckServer();
    // The check's end is handled before the window shows: its rows, or its failure notice as the
    // first thing on the screen.
    m_pTasks->RunPending();
    // The first focus goes to the item list, the template's first control; the created buttons
    // come before it in the window order, where the dialog manager would otherwise look.
    ::SetFocus(m_listItems.m_hWnd);
    return FALSE;
}

LRESULT CQuorvelDownloadDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: return OnPaint();
    case WM_ERASEBKGND: return TRUE;  // the paint covers the whole client area
    case WM_NCHITTEST: return OnNcHitTest(wParam, lParam);
    case UM_CHECK_CHANGED: return OnCheckChanged();
    case UM_RUN_TASKS: return OnRunTasks();
    case WM_DPICHANGED: return OnDpiChanged(wParam, lParam);
    case WM_TIMER: return OnTimer(static_cast<UINT_PTR>(wParam));
    case WM_DESTROY: return OnDestroy();
    default: return CDialog::WindowProc(msg, wParam, lParam);
    }
}

BOOL CQuorvelDownloadDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_CHECK_SERVER: CheckServer(); return TRUE;
    case IDC_START_INSTALLATION: OnStartInstallation(); return TRUE;
    case IDC_EXIT: OnExit(); return TRUE;
    default: return CDialog::OnCommand(wParam, lParam);
    }
}

// The caption-less window is dragged by its own surface, except while the worker downloads;
// child controls keep their clicks.
LRESULT CQuorvelDownloadDlg::OnNcHitTest(WPARAM, LPARAM) {
    const LRESULT hit = Default();
    return hit == HTCLIENT && !RoadBusy() ? HTCAPTION : hit;
}

// Exit during a download stops it as Escape does, then ends the run with Exit's code; in a passive
// run it is the user cancelling the installation.
void CQuorvelDownloadDlg::OnExit() {
    if (m_pEngine) m_pEngine->Stop();
    ::PostQuitMessage(m_command.mode == RunMode::Passive ? ExitCodeOf(RoadOutcome::Cancelled) : kExitCodeOfExitButton);
}

// A passive run's deadline: whatever it is doing stops, and the run ends saying so.
LRESULT CQuorvelDownloadDlg::OnTimer(UINT_PTR id) {
    if (id != kDeadlineTimer) return Default();
    KillTimer(kDeadlineTimer);
    if (m_pEngine) m_pEngine->Stop();
    LogEvent("road.deadline", {{"minutes", m_command.timeoutMinutes}});
    ::PostQuitMessage(ExitCodeOf(RoadOutcome::TimedOut));
    return 0;
}

// Enter does nothing while the road is busy, as when the whole window was disabled: not while the
// worker downloads, nor between its end and the hand-off.
void CQuorvelDownloadDlg::OnOK() {
    if (!RoadBusy()) CDialog::OnOK();
}

void CQuorvelDownloadDlg::EnableRoadControls(bool enable) {
    for (CWnd* control : {static_cast<CWnd*>(m_pBtnCommand[0].get()), static_cast<CWnd*>(m_pBtnCommand[1].get()),
                          static_cast<CWnd*>(&m_listItems), static_cast<CWnd*>(&m_listHeader)}) {
        if (control && control->m_hWnd) control->EnableWindow(enable ? TRUE : FALSE);
    }
}

// Esc, Alt+F4, the system menu's Close and WM_CLOSE end the run; a running download is stopped
// first (its partial file is deleted by the worker) so nothing outlives the window.
void CQuorvelDownloadDlg::OnCancel() {
    // A passive run that has failed or is done has posted its own end already.
    const bool over = m_pEngine && (m_pEngine->State() == RoadState::Failed || m_pEngine->State() == RoadState::Done);
    if (m_pEngine) m_pEngine->Stop();
    // A passive run closed by the user before its end: the installation was cancelled.
    if (m_command.mode == RunMode::Passive) {
        if (!over) ::PostQuitMessage(ExitCodeOf(RoadOutcome::Cancelled));
        return;
    }
    CDialog::OnCancel();
}

LRESULT CQuorvelDownloadDlg::OnDestroy() {
    // Nothing queued for the window runs once it is going, and no worker outlives it.
    if (m_pTasks) m_pTasks->Close();
    if (m_pEngine) m_pEngine->Stop();
    return Default();
}

LRESULT CQuorvelDownloadDlg::OnCheckChanged() {
    m_listItems.Invalidate(TRUE);
    return 1;
}

LRESULT CQuorvelDownloadDlg::OnRunTasks() {
    if (m_pTasks) m_pTasks->RunPending();
    return 0;
}
