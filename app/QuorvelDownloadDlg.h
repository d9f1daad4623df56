// The main window: a fixed-size skinned dialog with the banner, the command buttons, the item list
// and the program's message box. It drives the update engine with the user's commands (or, in a
// passive run, by itself) and turns the engine's facts into rows, banner texts and notices.
#pragma once

#include "controls/DIBSectionLite.h"
#include "controls/DlgMsgBox.h"
#include "controls/MultiTextBtn.h"
#include "controls/MultilineList.h"
#include "framework/Dialog.h"
#include "framework/GdiObjects.h"
#include "framework/UiTaskQueue.h"
#include "update/engine/UpdateEngine.h"
#include "app/logic/CommandLine.h"

#include <memory>
#include <string>
#include <vector>

// Wakes the dialog to run the tasks queued for it; carries nothing.
constexpr UINT UM_RUN_TASKS = WM_USER + 9200;
// The title the window shows on its taskbar button and to automation tools.
inline const wchar_t kMainWindowTitle[] = L"탈빅스 다운로더";

class CQuorvelDownloadDlg : public CDialog, private IRoadObserver {
public:
    // `command`: a window run (Window) or a passive one, which runs the road by itself, logs its
    // notices instead of showing them and closes at the end with the road's exit code.
    explicit CQuorvelDownloadDlg(CWnd* parent = nullptr, RunCommand command = RunCommand());
    ~CQuorvelDownloadDlg() override;

    // Notices: the first line goes on the banner, both lines into the message box; returns after
    // the user's answer.
    int ShowNotice(const std::wstring& first);
    int ShowNotice(const std::wstring& first, const std::wstring& second);

    // The server check: list the edition's folder and offer its setup program.
    void CheckServer();
    int BuildUpdateList();

    // The start command: the checked rows the engine offers as updatable go to its download.
    void OnStartInstallation();
    int DownloadUpdates();

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
    // What the engine reports, on this window's thread, in order.
    void OnRoadFact(const RoadFact& fact) override;
    // A window run asks the user (the platform's prompt); a passive run has nobody to ask.
    bool AskProxyCredentials(const std::wstring& host, std::wstring& user, std::wstring& password) override;
    void ShowProgress(const DownloadStatus& status);
    // A check that found the maker's release withheld or the PC's date wrong says so.
    void ShowCheckFailure();
    void ShowDownloadFailure(DownloadResult result);
    void ShowHandOffFailure(HandOffResult result);
    // Once the run is over: a passive run ends with the road's exit code, the window closes after
    // the launch.
    void EndRunIfOver();
    // While the worker runs only Exit (and Escape) stay: the window itself stays enabled so that
    // Exit can be clicked.
    void EnableRoadControls(bool enable);

    // The engine's one answer: from the start of a check or download until its end has been
    // handled, and after a launch. Check Server, Start, Enter and dragging do nothing meanwhile.
    bool RoadBusy() const { return m_pEngine && m_pEngine->Busy(); }
    void BuildControls();
    void PlaceControls();
    // The window's size at its scale: the background picture's, or the layout's without it.
    SIZE LoadBackground();
    LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
    void KeepOnMonitor(const RECT& windowRect);
    LRESULT OnPaint();
    LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
    LRESULT OnCheckChanged();
    LRESULT OnRunTasks();
    LRESULT OnTimer(UINT_PTR id);
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

    const RunCommand m_command;
    RoadFact m_handedOff;  // the hand-off's fact: the setup's own end when a passive run waited for it
    // The update engine, made once the window's task queue exists.
    std::unique_ptr<CUpdateEngine> m_pEngine;
    // The list row of each item of the engine's download, in its order. A row's item data is the
    // index of the offered setup it shows.
    std::vector<int> m_vecChosenRows;
    // The download's last state shown on the banner.
    DownloadState m_shownState = DownloadState::Connecting;
    // Tasks for this window's thread; shared with the worker, closed when the window goes.
    std::shared_ptr<CUiTaskQueue> m_pTasks;
};
