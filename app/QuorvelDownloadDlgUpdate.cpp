// The main dialog's side of the update road: the server check fills the list, the start command
// hands the chosen rows to the download, the download's reports reach the list and the banner, and
// a finished download goes on to the hand-off. The work itself is the update engine's.
#include "app/QuorvelDownloadDlg.h"

#include "system/LocalText.h"
#include "system/logic/TextTable.h"
#include "update/InstallHandOff.h"
#include "update/SetupSignature.h"

void CQuorvelDownloadDlg::CheckServer() {
    // The work folder belongs to the download until the hand-off has taken it.
    if (DownloadInProgress()) return;
    m_listItems.DeleteAllItems(0);
    m_listItems.Invalidate(TRUE);
    m_vecUpdateItems.clear();
    if (!m_catalogue.Check(m_hWnd)) {
        ShowNotice(LocalText(TextId::ServerConnectionFailure), LocalText(TextId::CheckInternetAndRetry));
        return;
    }
    BuildUpdateList();
}

int CQuorvelDownloadDlg::BuildUpdateList() {
    OfferedRow row;
    if (m_catalogue.FindOfferedRow(row)) {
        m_listItems.InsertItem(0, row.title, row.record);
        m_listItems.SetItemText(0, 1, row.installedVersion);
        m_listItems.SetItemText(0, 2, row.serverVersion);
        m_listItems.SetItemText(0, 3, LocalText(TextId::Updatable));
        m_listItems.SetCheck(0, 1);
        SetBannerText(LocalText(TextId::Invitation));
    }
    if (m_listItems.GetItemCount() == 0) SetBannerText(LocalText(TextId::ServerMaintenance));
    m_listItems.Invalidate(TRUE);
    return 1;
}

void CQuorvelDownloadDlg::OnStartInstallation() {
    if (DownloadInProgress()) return;
    m_vecUpdateItems.clear();
    bool anyChecked = false;
    for (int row = 0; row < m_listItems.GetItemCount(); ++row) {
        if (!m_listItems.IsChecked(row)) continue;
        anyChecked = true;
        if (m_listItems.GetItemText(row, 3) != LocalText(TextId::Updatable)) continue;
        const FTP_FILE_INFO* file = m_catalogue.ServerFile(m_listItems.GetItemData(row));
        if (!file) continue;
        UPDATE_ITEM item;
        static_cast<FTP_FILE_INFO&>(item) = *file;
        item.nListRow = row;
        m_vecUpdateItems.push_back(item);
    }
    if (!anyChecked) {
        ShowNotice(LocalText(TextId::NothingSelected));
        return;
    }
    if (m_vecUpdateItems.empty()) {
        ShowNotice(LocalText(TextId::SelectUpdatableFile));
        return;
    }
    DownloadUpdates();
}

// Starts the worker on the chosen items. The road's controls stay disabled until the worker's end
// has been handled, so neither command can run in between; Exit stops the worker.
int CQuorvelDownloadDlg::DownloadUpdates() {
    DownloadRequest request;
    request.items = m_vecUpdateItems;
    request.serverFolder = BuildServerFolderForDownload();
    request.workFolder = CUpdateCatalogue::GetWorkFolder();
    request.server = UpdateServerSettings(CUpdateCatalogue::GetUpdateHost());
    request.release.statement = m_catalogue.Release();
    request.release.installed = m_catalogue.InstalledVersion();
    request.release.publisherNamed = BuildNamesPublisher();
    EnableRoadControls(false);
    m_shownState = DownloadState::Connecting;
    if (!m_download.Start(std::move(request), m_pTasks)) {
        EnableRoadControls(true);
        return 0;
    }
    m_road = Road::Downloading;
    m_downloadLog.Started(m_vecUpdateItems);
    return 1;
}

void CQuorvelDownloadDlg::Report(const DownloadStatus& status) {
    if (status.item >= m_vecUpdateItems.size()) return;
    m_downloadLog.Report(m_vecUpdateItems, status);
    const UPDATE_ITEM& item = m_vecUpdateItems[status.item];
    switch (status.state) {
    case DownloadState::Connecting: break;
    case DownloadState::Transferring:
        if (m_shownState != DownloadState::Transferring) SetBannerText(LocalText(TextId::Downloading));
        // The row shows what has arrived: nothing before the first block, as it always has.
        if (status.done > 0 || status.total == 0) {
            const std::wstring text =
                FormatProgressText(LocalText(TextId::ProgressFormat), ProgressPercent(status.done, status.total), L"%");
            if (m_listItems.GetItemText(item.nListRow, 3) != text) SetRowStatus(item.nListRow, text);
        }
        break;
    case DownloadState::Reconnecting: {
        // "[ %s ] Server disconnected .. retrying ..", with the file's name.
        std::wstring text = LocalText(TextId::ServerDisconnected);
        const size_t at = text.find(L"%s");
        if (at != std::wstring::npos) text.replace(at, 2, item.Name());
        SetBannerText(text);
        break;
    }
    case DownloadState::Completed:
        SetRowStatus(item.nListRow, LocalText(TextId::Completed));
        SetBannerText(LocalText(TextId::PreparingInstallation));
        break;
    }
    m_shownState = status.state;
}

void CQuorvelDownloadDlg::DownloadFinished(FinishedDownload download) {
    m_downloadLog.Finished(download);
    m_downloaded = std::move(download);
    m_road = Road::Finished;
    PostMessage(UM_DOWNLOAD_FINISHED);
}

void CQuorvelDownloadDlg::DownloadFailed(DownloadResult result) {
    m_downloadLog.Failed(result);
    m_road = Road::Idle;
    EnableRoadControls(true);
    switch (result) {
    case DownloadResult::Completed:
    case DownloadResult::Stopped:
    case DownloadResult::NoInternet: break;  // nothing to tell
    case DownloadResult::InvalidFile:
        ShowNotice(LocalText(TextId::InvalidUpdateFile), LocalText(TextId::TryAgain));
        break;
    case DownloadResult::ConnectFailed:
        ShowNotice(LocalText(TextId::ConnectFailed), LocalText(TextId::TryAgain));
        break;
    case DownloadResult::RemoteFileUnopenable: ShowNotice(LocalText(TextId::CannotOpenRemoteFile)); break;
    case DownloadResult::LocalFileUnopenable: ShowNotice(LocalText(TextId::CannotOpenLocalFile)); break;
    case DownloadResult::ReadFailed:
        ShowNotice(LocalText(TextId::ReadError), LocalText(TextId::CheckInternetAndRetry));
        break;
    case DownloadResult::WriteFailed:
    case DownloadResult::DiskFull: ShowNotice(LocalText(TextId::WriteError)); break;
    }
}

// Honoured once per finished download of this run; the same message from anywhere else, or again
// while the hand-off runs, is ignored.
LRESULT CQuorvelDownloadDlg::OnDownloadFinished() {
    if (m_road != Road::Finished) return 0;
    m_road = Road::HandingOff;
    m_vecUpdateItems.clear();
    HandOffToSetup();
    return 0;
}

int CQuorvelDownloadDlg::HandOffToSetup() {
    // Taken over here, so the setup program is let go when the hand-off is over, whatever its end.
    FinishedDownload download = std::move(m_downloaded);
    m_downloaded = FinishedDownload();
    const HandOffResult result = RunInstallHandOff(CUpdateCatalogue::GetWorkFolder(), download);
    LogHandOff(result);
    if (result == HandOffResult::Launched || result == HandOffResult::NoSetupFile) {
        // The setup program owns the work folder now: nothing may empty it before the window goes.
        m_road = Road::Closing;
        SendMessage(WM_CLOSE);
        return 0;
    }
    m_road = Road::Idle;
    EnableRoadControls(true);
    switch (result) {
    case HandOffResult::ListNotCreated: ShowNotice(LocalText(TextId::ListCreateFailed)); break;
    case HandOffResult::ListNotWritten: ShowNotice(LocalText(TextId::ListWriteFailed)); break;
    case HandOffResult::FolderUnusable: ShowNotice(LocalText(TextId::CannotOpenLocalFile)); break;
    case HandOffResult::ElevationDeclined: ShowNotice(LocalText(TextId::TryAgain)); break;
    default:  // the setup program changed, refused for its signature or release, or did not start
        ShowNotice(LocalText(TextId::InvalidUpdateFile), LocalText(TextId::TryAgain));
        break;
    }
    return 0;
}

void CQuorvelDownloadDlg::SetRowStatus(int row, const std::wstring& text) {
    m_listItems.SetItemText(row, 3, text);
    m_listItems.Invalidate(FALSE);
}
