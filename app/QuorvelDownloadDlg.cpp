// The main dialog's life: initialisation, message dispatch, dragging, the commands, the end of the
// run, and the hand-over of work between the worker and the user-interface thread.
#include "app/QuorvelDownloadDlg.h"

#include "system/EnvironmentProbes.h"
#include "system/LocalText.h"
#include "controls/ListMessages.h"
#include "resources/resource.h"
#include "update/logic/DownloadLogic.h"

namespace {
constexpr int kWindowWidth = 562;   // used when the background picture is missing
constexpr int kWindowHeight = 598;
constexpr DWORD kWorkerStopTimeoutMs = 30000;
}  // namespace

CQuorvelDownloadDlg::CQuorvelDownloadDlg(CWnd* parent)
    : CDialog(IDD_QUORVELDOWNLOAD_DIALOG, parent),
      m_listHeader(probes::GetModuleFolder()),
      m_listItems(probes::GetModuleFolder()),
      m_msgBox(this) {}

CQuorvelDownloadDlg::~CQuorvelDownloadDlg() { StopWorker(); }

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

    int width = kWindowWidth, height = kWindowHeight;
    if (m_imgBackground.LoadResourceBitmap(IDB_BACKGROUND)) {
        width = m_imgBackground.Width();
        height = m_imgBackground.Height();
    }
    m_msgBox.SetLanguage(LanguageIndex);
    m_msgBox.Create(IDD_MSG_BOX, this);
    SetWindowPos(nullptr, 0, 0, width, height, SWP_NOZORDER);

    ChooseLanguageFromUserInterface();
    g_localText.Load();
    // The taskbar button and automation tools show the same title the window paints.
    SetWindowText(L"탈빅스 다운로더");

    BuildControls();
    CenterWindow();
    CheckServer();
    return TRUE;
}

LRESULT CQuorvelDownloadDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: return OnPaint();
    case WM_ERASEBKGND: return TRUE;  // the paint covers the whole client area
    case WM_NCHITTEST: return OnNcHitTest(wParam, lParam);
    case WM_SYSCOMMAND: return OnSysCommand(msg, wParam, lParam);
    case UM_DOWNLOAD_FINISHED: return OnDownloadFinished();
    case UM_CHECK_CHANGED: return OnCheckChanged();
    case UM_RUN_ON_UI_THREAD: return OnRunOnUiThread(lParam);
    case WM_DESTROY: StopWorker(); return Default();
    default: return CDialog::WindowProc(msg, wParam, lParam);
    }
}

BOOL CQuorvelDownloadDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case 920: CheckServer(); return TRUE;
    case 921: OnStartInstallation(); return TRUE;
    case 50: OnExit(); return TRUE;
    default: return CDialog::OnCommand(wParam, lParam);
    }
}

// The caption-less window is dragged by its own surface; child controls keep their clicks.
LRESULT CQuorvelDownloadDlg::OnNcHitTest(WPARAM, LPARAM) {
    const LRESULT hit = Default();
    return hit == HTCLIENT ? HTCAPTION : hit;
}

void CQuorvelDownloadDlg::OnExit() { ::PostQuitMessage(18); }

// The default handling ignores the system commands of a disabled window, and the window is disabled
// while the worker downloads: the taskbar's Close must still stop the download and end the run.
LRESULT CQuorvelDownloadDlg::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam) {
    if ((wParam & 0xFFF0) == SC_CLOSE && m_pWorkerThread && !IsWindowEnabled()) {
        OnCancel();
        return 0;
    }
    return CDialog::WindowProc(msg, wParam, lParam);
}

// Esc, Alt+F4, the system menu's Close and WM_CLOSE end the run; a running download is stopped
// first (its partial file is deleted by the worker) so nothing outlives the window.
void CQuorvelDownloadDlg::OnCancel() {
    StopWorker();
    CDialog::OnCancel();
}

LRESULT CQuorvelDownloadDlg::OnDownloadFinished() {
    m_vecUpdateItems.clear();
    EnableWindow(TRUE);
    if (m_pWorkerThread) m_pWorkerThread->Wait(5000);  // it posted this as its last act
    m_pWorkerThread.reset();
    HandOffToSetup();
    return 0;
}

LRESULT CQuorvelDownloadDlg::OnCheckChanged() {
    m_listItems.Invalidate(TRUE);
    return 1;
}

bool CQuorvelDownloadDlg::OnUiThread() const {
    return ::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId();
}

LRESULT CQuorvelDownloadDlg::OnRunOnUiThread(LPARAM lParam) {
    if (auto* task = reinterpret_cast<const std::function<void()>*>(lParam)) (*task)();
    return 0;
}

void CQuorvelDownloadDlg::RunOnUiThread(const std::function<void()>& task) {
    if (OnUiThread())
        task();
    else if (m_hWnd)
        ::SendMessageW(m_hWnd, UM_RUN_ON_UI_THREAD, 0, reinterpret_cast<LPARAM>(&task));
}

void CQuorvelDownloadDlg::StopWorker() {
    if (!m_pWorkerThread) return;
    if (m_pStopWorker) m_pStopWorker->store(true);
    // The worker may be waiting in a SendMessage to this thread: keep answering those.
    const HANDLE thread = m_pWorkerThread->Handle();
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= kWorkerStopTimeoutMs) break;
        const DWORD r = ::MsgWaitForMultipleObjects(1, &thread, FALSE, kWorkerStopTimeoutMs - elapsed,
                                                    QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    m_pWorkerThread.reset();
}
