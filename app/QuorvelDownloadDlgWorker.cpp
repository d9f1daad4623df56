// The start command and the download worker thread. The worker runs the transfer logic against
// WinINet and the local file system; everything it shows is carried out by the user-interface
// thread, and after it has started it never touches the dialog object itself.
#include "system/EnvironmentProbes.h"
#include "system/LocalText.h"
#include "app/QuorvelDownloadDlg.h"
#include "update/FtpSession.h"
#include "update/LocalFiles.h"
#include "update/logic/DownloadLogic.h"

struct DownloadJob {
    DownloadRequest request;
    std::vector<std::wstring> texts;
    HWND dialog = nullptr;
    CQuorvelDownloadDlg* owner = nullptr;  // used only inside tasks run on the user-interface thread
    std::shared_ptr<std::atomic<bool>> stop;
};

namespace {

// The dialog as the worker sees it: every call is sent to the user-interface thread and returns
// when it has run there. Once the program is closing the calls do nothing.
class WorkerUi : public IDownloadUi {
public:
    explicit WorkerUi(const DownloadJob& job) : m_job(job) {}

    void SetDialogEnabled(bool enabled) override {
        Run([this, enabled] { ::EnableWindow(m_job.dialog, enabled ? TRUE : FALSE); });
    }
    void SetRowStatus(int row, const std::wstring& text) override {
        Run([this, row, &text] { m_job.owner->SetRowStatus(row, text); });
    }
    void SetBanner(const std::wstring& text) override {
        Run([this, &text] { m_job.owner->SetBannerText(text); });
    }
    void ReleaseWorker() override {
        Run([this] { m_job.owner->ReleaseWorkerThread(); });
    }
    void ShowNotice(const std::wstring& first, const std::wstring& second) override {
        Run([this, &first, &second] { m_job.owner->ShowNotice(first, second); });
    }
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
    bool StopRequested() override { return m_job.stop->load(); }

private:
    void Run(const std::function<void()>& task) {
        if (StopRequested()) return;
        const std::function<void()> guarded = [this, &task] {
            if (!StopRequested()) task();
        };
        // Fails at once when the window is gone; the task then simply does not run.
        ::SendMessageW(m_job.dialog, UM_RUN_ON_UI_THREAD, 0, reinterpret_cast<LPARAM>(&guarded));
    }
    const DownloadJob& m_job;
};

}  // namespace

void CQuorvelDownloadDlg::OnStartInstallation() {
    m_vecUpdateItems.clear();
    bool anyChecked = false, anyUpdatable = false;
    for (int row = 0; row < m_listItems.GetItemCount(); ++row) {
        if (!m_listItems.IsChecked(row)) continue;
        anyChecked = true;
        if (m_listItems.GetItemText(row, 3) != LocalText(0)) continue;
        const int record = m_listItems.GetItemData(row);
        if (record < 0 || record >= static_cast<int>(m_vecServerFiles.size())) continue;
        anyUpdatable = true;
        UPDATE_ITEM item;
        static_cast<FTP_FILE_INFO&>(item) = m_vecServerFiles[static_cast<size_t>(record)];
        item.nListRow = row;
        m_vecUpdateItems.push_back(item);
    }
    if (!anyChecked) {
        ShowNotice(LocalText(25));
        return;
    }
    if (!anyUpdatable) {
        ShowNotice(LocalText(22));
        return;
    }
    if (m_pWorkerThread) return;

    m_pStopWorker = std::make_shared<std::atomic<bool>>(false);
    m_pJob = std::make_shared<DownloadJob>();
    m_pJob->request.items = m_vecUpdateItems;
    m_pJob->request.serverFolder = BuildServerFolderForDownload();
    m_pJob->request.workFolder = GetWorkFolder();
    m_pJob->request.server = UpdateServerSettings(GetUpdateHost());
    m_pJob->texts = g_localText.Items();
    m_pJob->dialog = m_hWnd;
    m_pJob->owner = this;
    m_pJob->stop = m_pStopWorker;
    m_pWorkerThread = CWinThread::Begin(DownloadThreadProc, this, L"QuorvelDownloader worker");
    if (!m_pWorkerThread) m_pJob.reset();
}

UINT CQuorvelDownloadDlg::DownloadThreadProc(void* dialog) {
    auto* self = static_cast<CQuorvelDownloadDlg*>(dialog);
    const HWND window = self->m_hWnd;
    if (self->DownloadUpdates() == 1) ::PostMessageW(window, UM_DOWNLOAD_FINISHED, 0, 0);
    return 0;
}

// Runs on the worker thread. The job was prepared by the start command; taking it over is the
// worker's only access to the dialog object.
int CQuorvelDownloadDlg::DownloadUpdates() {
    std::shared_ptr<DownloadJob> job = std::move(m_pJob);
    if (!job) return 0;
    CTimerResolution resolution;
    CLocalFiles files;
    WorkerUi ui(*job);
    const FtpSessionFactory newSession = [] { return MakeFtpSession(); };
    return ::DownloadUpdates(job->request, job->texts, newSession, files, ui);
}

void CQuorvelDownloadDlg::SetRowStatus(int row, const std::wstring& text) {
    m_listItems.SetItemText(row, 3, text);
    m_listItems.Invalidate(FALSE);
}

void CQuorvelDownloadDlg::ReleaseWorkerThread() { m_pWorkerThread.reset(); }
