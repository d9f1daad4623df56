// The server check: where this copy's update files live on the server and which one is offered.
#include "system/EnvironmentProbes.h"
#include "system/LocalText.h"
#include "app/QuorvelDownloadDlg.h"
#include "update/FtpSession.h"
#include "update/logic/Catalogue.h"

#ifndef QV_UPDATE_HOST
#define QV_UPDATE_HOST L"update.quorvel.invalid"
#endif

std::wstring CQuorvelDownloadDlg::GetWorkFolder() { return kWorkFolder; }
std::wstring CQuorvelDownloadDlg::GetUpdateHost() { return QV_UPDATE_HOST; }

std::wstring CQuorvelDownloadDlg::GetEditionFolder() const { return EditionFolderOf(m_strEditionSource); }
std::wstring CQuorvelDownloadDlg::GetChannelFolder() const { return ChannelFolderOf(m_strEditionSource); }
std::wstring CQuorvelDownloadDlg::GetOemFolder() const { return OemFolderOf(m_strEditionSource); }

std::wstring CQuorvelDownloadDlg::GetTestSuffix() const {
    return TestSuffix(probes::FileExists(probes::GetModuleFolder() + L"\\" + kTestMarkerFile));
}

std::wstring CQuorvelDownloadDlg::BuildServerFolder() {
    m_strEditionSource = EditionSourceFromFileTitle(probes::GetModuleFileTitle());
    m_strServerFolder = ListingServerFolder(m_strEditionSource, !GetTestSuffix().empty());
    return m_strServerFolder;
}

std::wstring CQuorvelDownloadDlg::BuildServerFolderForDownload() {
    m_strEditionSource = EditionSourceFromFileTitle(probes::GetModuleFileTitle());
    m_strServerFolder = DownloadServerFolder(m_strEditionSource, !GetTestSuffix().empty());
    return m_strServerFolder;
}

void CQuorvelDownloadDlg::CheckServer() {
    m_listItems.DeleteAllItems(0);
    m_listItems.Invalidate(TRUE);
    m_vecUpdateItems.clear();
    m_vecServerFiles.clear();
    probes::ReadInstalledScannerVersion(m_hWnd, m_strBitness, m_strInstalledVersion);
    probes::DeleteFolderTree(GetWorkFolder(), false);

    CFtpSession session;
    const FtpConnectionSettings server = UpdateServerSettings(GetUpdateHost());
    const int connected = session.Connect(server.host, server.user, server.password, server.port);
    if (connected == 0 || connected == -1) {
        ShowNotice(LocalText(9), LocalText(10));
        session.Disconnect();
        return;
    }
    session.ListFiles(BuildServerFolder(), m_vecServerFiles, L"*");
    session.Disconnect();
    BuildUpdateList(m_vecServerFiles);
}

int CQuorvelDownloadDlg::BuildUpdateList(const std::vector<FTP_FILE_INFO>& files) {
    const OfferedFile offered = FindOfferedFile(files);
    if (offered.index >= 0) {
        m_listItems.InsertItem(0, OfferedRowTitle(m_strEditionSource), offered.index);
        m_listItems.SetItemText(0, 1, m_strInstalledVersion);
        m_listItems.SetItemText(0, 2, offered.serverVersion);
        m_listItems.SetItemText(0, 3, LocalText(0));
        m_listItems.SetCheck(0, 1);
        SetBannerText(LocalText(11));
    }
    if (m_listItems.GetItemCount() == 0) SetBannerText(LocalText(12));
    m_listItems.Invalidate(TRUE);
    return 1;
}
