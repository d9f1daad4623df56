// The main window (being assembled: the controls it holds land first).
#pragma once

#include "framework/Dialog.h"
#include "resources/resource.h"

class CQuorvelDownloadDlg : public CDialog {
public:
    explicit CQuorvelDownloadDlg(CWnd* parent = nullptr) : CDialog(IDD_QUORVELDOWNLOAD_DIALOG, parent) {}
};
