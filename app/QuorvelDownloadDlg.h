// The main window: a fixed-size skinned dialog with the banner, the command buttons, the item list
// and the program's message box; it runs the server check, the download worker and the hand-off.
#pragma once

#include "controls/DIBSectionLite.h"
#include "controls/DlgMsgBox.h"
#include "controls/MultiTextBtn.h"
#include "controls/MultilineList.h"
#include "framework/Dialog.h"
#include "framework/GdiObjects.h"
#include "framework/Thread.h"
#include "update/logic/FtpTypes.h"
#include "update/logic/UpdateItem.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

constexpr UINT UM_DOWNLOAD_FINISHED = WM_USER + 9001;
// Runs a task (a std::function<void()>* in lParam) on the user-interface thread; sent by the worker.
constexpr UINT UM_RUN_ON_UI_THREAD = WM_USER + 9200;

struct DownloadJob;

class CQuorvelDownloadDlg : public CDialog {
public:
    explicit CQuorvelDownloadDlg(CWnd* parent = nullptr);
    ~CQuorvelDownloadDlg() override;

    // Notices: the first line goes on the banner, both lines into the message box; returns after
    // the user's answer. Callable from the user-interface thread and from the worker.
    int ShowNotice(const std::wstring& first);
    int ShowNotice(const std::wstring& first, const std::wstring& second);

    // The server check: list the edition's folder and offer its setup program.
    void CheckServer();
    int BuildUpdateList(const std::vector<FTP_FILE_INFO>& files);
    // The folder forms; each rebuilds m_strEditionSource and m_strServerFolder.
    std::wstring BuildServerFolder();             // listing form, for ListFiles
    std::wstring BuildServerFolderForDownload();  // download form, joined with a file name
    std::wstring GetEditionFolder() const;
    std::wstring GetChannelFolder() const;
    std::wstring GetOemFolder() const;
    std::wstring GetTestSuffix() const;
    static std::wstring GetWorkFolder();
    static std::wstring GetUpdateHost();

    // The start command and the worker.
    void OnStartInstallation();
    static UINT DownloadThreadProc(void* dialog);
    int DownloadUpdates();

    // After a successful download: order the files, write the hand-off file, launch the setup.
    int HandOffToSetup();

    // Called on the user-interface thread on the worker's behalf.
    void SetBannerText(const std::wstring& text);
    void SetRowStatus(int row, const std::wstring& text);
    void ReleaseWorkerThread();

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnCancel() override;

private:
    void BuildControls();
    LRESULT OnPaint();
    LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
    LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnDownloadFinished();
    LRESULT OnCheckChanged();
    LRESULT OnRunOnUiThread(LPARAM lParam);
    void OnExit();
    // Runs the task on the user-interface thread and returns when it has run (or the window is gone).
    void RunOnUiThread(const std::function<void()>& task);
    bool OnUiThread() const;
    // Asks a running worker to stop and waits, bounded, for it to end.
    void StopWorker();

    CFont m_fontTitle;
    CDIBSectionLite m_imgBackground;
    CMultilineList m_listHeader;
    CMultilineList m_listItems;
    CMultiTextBtn m_btnExit;
    CMultiTextBtn m_btnBanner;
    std::vector<UPDATE_ITEM> m_vecUpdateItems;
    std::vector<FTP_FILE_INFO> m_vecServerFiles;
    std::wstring m_strEditionSource;
    std::wstring m_strServerFolder;
    std::wstring m_strInstalledVersion = L"-";
    CDlg_MSG_Box m_msgBox;
    std::wstring m_strBitness;
    CFont m_fontWarning;
    int m_bControlsBuilt = 0;
    std::unique_ptr<CDIBSectionLite> m_pImgCommand[2];
    std::unique_ptr<CMultiTextBtn> m_pBtnCommand[2];
    std::unique_ptr<CDIBSectionLite> m_pImgExit;
    std::unique_ptr<CDIBSectionLite> m_pImgBanner;
    std::unique_ptr<CWinThread> m_pWorkerThread;

    // What the next worker downloads; taken over by the worker when it starts.
    std::shared_ptr<DownloadJob> m_pJob;
    // Shared with the running worker: set when the program is closing.
    std::shared_ptr<std::atomic<bool>> m_pStopWorker;
};
