// The main window: a fixed-size skinned dialog with the banner, the command buttons, the item list
// and the program's message box. It owns the update engine (catalogue, download, hand-off) and
// shows what the engine reports.
#pragma once

#include "controls/DIBSectionLite.h"
#include "controls/DlgMsgBox.h"
#include "controls/MultiTextBtn.h"
#include "controls/MultilineList.h"
#include "framework/Dialog.h"
#include "framework/GdiObjects.h"
#include "framework/UiTaskQueue.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateDiagnostics.h"
#include "update/UpdateDownload.h"
#include "update/UpdateSink.h"
#include "update/logic/UpdateItem.h"

#include <memory>
#include <string>
#include <vector>

// Posted to the dialog when the worker has downloaded every chosen item; honoured only then.
constexpr UINT UM_DOWNLOAD_FINISHED = WM_USER + 9001;
// Wakes the dialog to run the tasks queued for it; carries nothing.
constexpr UINT UM_RUN_TASKS = WM_USER + 9200;

class CQuorvelDownloadDlg : public CDialog, private IUpdateSink {
public:
    explicit CQuorvelDownloadDlg(CWnd* parent = nullptr);
    ~CQuorvelDownloadDlg() override;

    // Notices: the first line goes on the banner, both lines into the message box; returns after
    // the user's answer.
    int ShowNotice(const std::wstring& first);
    int ShowNotice(const std::wstring& first, const std::wstring& second);

    // The server check: list the edition's folder and offer its setup program.
    void CheckServer();
    int BuildUpdateList();
    std::wstring BuildServerFolder() { return m_catalogue.BuildServerFolder(); }
    std::wstring BuildServerFolderForDownload() { return m_catalogue.BuildServerFolderForDownload(); }

    // The start command and the worker it starts.
    void OnStartInstallation();
    int DownloadUpdates();

    // After a finished download: list this run's files, write the hand-off file, launch the setup.
    int HandOffToSetup();

    void SetBannerText(const std::wstring& text);
    void SetRowStatus(int row, const std::wstring& text);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnCancel() override;

private:
    // What the engine reports, on this window's thread.
    void Report(const DownloadStatus& status) override;
    void DownloadFinished(FinishedDownload download) override;
    void DownloadFailed(DownloadResult result) override;
    // While the worker runs only Exit (and Escape) stay: the window itself stays enabled so that
    // Exit can be clicked.
    void EnableRoadControls(bool enable);

    // From the start command until the download has failed or its hand-off has failed; after a
    // launch the window only closes. Check Server and Start do nothing meanwhile.
    bool DownloadInProgress() const { return m_road != Road::Idle; }
    void BuildControls();
    void PlaceControls();
    // The window's size at its scale: the background picture's, or the layout's without it.
    SIZE LoadBackground();
    LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
    void KeepOnMonitor(const RECT& windowRect);
    LRESULT OnPaint();
    LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
    LRESULT OnDownloadFinished();
    LRESULT OnCheckChanged();
    LRESULT OnRunTasks();
    LRESULT OnDestroy();
    void OnExit();

    CFont m_fontTitle;
    CDIBSectionLite m_imgBackground;
    CMultilineList m_listHeader;
    CMultilineList m_listItems;
    CMultiTextBtn m_btnExit;
    CMultiTextBtn m_btnBanner;
    CDlg_MSG_Box m_msgBox;
    CFont m_fontWarning[2];  // one per warning line: a line too wide for its place gets a smaller one
    int m_bControlsBuilt = 0;
    std::unique_ptr<CDIBSectionLite> m_pImgCommand[2];
    std::unique_ptr<CMultiTextBtn> m_pBtnCommand[2];
    std::unique_ptr<CDIBSectionLite> m_pImgExit;
    std::unique_ptr<CDIBSectionLite> m_pImgBanner;

    // The update engine.
    CUpdateCatalogue m_catalogue;
    CUpdateDownload m_download{*this};
    CDownloadDiagnostics m_downloadLog;
    std::vector<UPDATE_ITEM> m_vecUpdateItems;
    // What the last finished download wrote, its setup program held, until the hand-off takes it.
    FinishedDownload m_downloaded;
    // Where the window is on the road of one installation.
    enum class Road { Idle, Downloading, Finished, HandingOff, Closing };
    Road m_road = Road::Idle;
    // The download's last state shown on the banner.
    DownloadState m_shownState = DownloadState::Connecting;
    // Tasks for this window's thread; shared with the worker, closed when the window goes.
    std::shared_ptr<CUiTaskQueue> m_pTasks;
};
