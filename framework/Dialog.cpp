// The dialog base. The template's dialog procedure only binds the object at WM_INITDIALOG; from
// then on every message reaches WindowProc through the same subclass hook as any other window.
#include "framework/Dialog.h"

#include "framework/WinApp.h"

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParent(parent) {}

CDialog::~CDialog() {
    if (m_hWnd) DestroyWindow();
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_templateId = templateId;
    m_pParent = parent;
    HWND wnd =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId),
                             parent ? parent->m_hWnd : nullptr, StaticDialogProc, reinterpret_cast<LPARAM>(this));
    return wnd != nullptr;
}

INT_PTR CDialog::DoModal() {
    m_bModal = true;
    m_bEndModal = false;
    m_nModalResult = -1;
    HWND owner = m_pParent ? m_pParent->m_hWnd : nullptr;
    if (owner) ::EnableWindow(owner, FALSE);
    if (Create(m_templateId, m_pParent)) {
        while (!m_bEndModal && m_hWnd) {
            if (!CWinApp::PumpMessage()) break;  // quit request: the modal run ends
        }
    }
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    if (m_hWnd) DestroyWindow();
    m_bModal = false;
    return m_nModalResult;
}

void CDialog::EndDialog(int result) {
    m_nModalResult = result;
    if (m_bModal)
        m_bEndModal = true;
    else
        ShowWindow(SW_HIDE);  // a modeless dialog only hides; its owner decides when it goes
}

BOOL CDialog::PreTranslateMessage(MSG* msg) { return m_hWnd && ::IsDialogMessageW(m_hWnd, msg); }

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
    switch (LOWORD(wParam)) {
    case IDOK: OnOK(); return TRUE;
    case IDCANCEL: OnCancel(); return TRUE;
    default: return FALSE;
    }
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND: return OnCommand(wParam, lParam) ? 0 : Default();
    default: return Default();
    }
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_INITDIALOG) return FALSE;
    CDialog* self = reinterpret_cast<CDialog*>(lParam);
    if (!self->SubclassWindow(wnd)) return FALSE;
    try {
        return self->OnInitDialog();
    } catch (...) {
        return FALSE;
    }
}
