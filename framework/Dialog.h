// The dialog base: modal run or modeless creation from a dialog template.
#pragma once

#include "framework/Wnd.h"

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent);
    ~CDialog() override;

    // Creates the dialog and runs it until EndDialog or a quit request; returns the result.
    INT_PTR DoModal();
    // Creates the dialog modelessly.
    BOOL Create(UINT templateId, CWnd* parent);
    void EndDialog(int result);

    // Modal-state dialogs translate their keyboard through IsDialogMessage.
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    virtual BOOL OnInitDialog();
    // Binds template controls to their objects; runs first in OnInitDialog.
    virtual void DoDataExchange() {}
    // WM_COMMAND; returns true when handled. The base ends the dialog on IDOK and IDCANCEL.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    UINT m_templateId;
    CWnd* m_pParent;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    bool m_bModal = false;
    bool m_bEndModal = false;
    INT_PTR m_nModalResult = -1;
};
