// The one application object of the program.
#include "app/QuorvelDownloadApp.h"

#include "app/QuorvelDownloadDlg.h"

CQuorvelDownloadApp theApp;

BOOL CQuorvelDownloadApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;  // 8 bytes
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    CQuorvelDownloadDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // The modal run is the whole program: no message loop of its own follows.
    return FALSE;
}
