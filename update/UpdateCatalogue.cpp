// The server check and the server folder of this copy's edition.
#include "update/UpdateCatalogue.h"

#include "system/EnvironmentProbes.h"
#include "system/PrivateFolder.h"
#include "update/FtpSession.h"
#include "update/UpdateDiagnostics.h"
#include "update/logic/Catalogue.h"

#ifndef QV_UPDATE_HOST
#define QV_UPDATE_HOST L"update.quorvel.invalid"
#endif

std::wstring CUpdateCatalogue::GetWorkFolder() { return kWorkFolder; }
std::wstring CUpdateCatalogue::GetUpdateHost() { return QV_UPDATE_HOST; }

std::wstring CUpdateCatalogue::GetTestSuffix() const {
    return TestSuffix(probes::FileExists(probes::GetModuleFolder() + L"\\" + kTestMarkerFile));
}

std::wstring CUpdateCatalogue::BuildServerFolder() {
    m_strEditionSource = EditionSourceFromFileTitle(probes::GetModuleFileTitle());
    m_strServerFolder = ListingServerFolder(m_strEditionSource, !GetTestSuffix().empty());
    return m_strServerFolder;
}

std::wstring CUpdateCatalogue::BuildServerFolderForDownload() {
    m_strEditionSource = EditionSourceFromFileTitle(probes::GetModuleFileTitle());
    m_strServerFolder = DownloadServerFolder(m_strEditionSource, !GetTestSuffix().empty());
    return m_strServerFolder;
}

bool CUpdateCatalogue::Check(HWND owner) {
    m_vecServerFiles.clear();
    probes::ReadInstalledScannerVersion(owner, m_strBitness, m_strInstalledVersion);
    {
        // Only a folder that no other account can change is emptied; it is made so here.
        CFile work;
        if (OpenPrivateFolder(GetWorkFolder(), work)) probes::DeleteFolderTree(GetWorkFolder(), false);
    }

    CFtpSession session;
    const FtpConnectionSettings server = UpdateServerSettings(GetUpdateHost());
    const int connected = session.Connect(server.host, server.user, server.password, server.port);
    if (connected == 0 || connected == -1) {
        session.Disconnect();
        return false;
    }
    const int listed = session.ListFiles(BuildServerFolder(), m_vecServerFiles, L"*");
    LogServerListing(server, m_strServerFolder, listed, m_vecServerFiles);
    session.Disconnect();
    return true;
}

bool CUpdateCatalogue::FindOfferedRow(OfferedRow& row) const {
    const OfferedFile offered = FindOfferedFile(m_vecServerFiles);
    if (offered.index < 0) return false;
    row.title = OfferedRowTitle(m_strEditionSource);
    row.installedVersion = m_strInstalledVersion;
    row.serverVersion = offered.serverVersion;
    row.record = offered.index;
    return true;
}

const FTP_FILE_INFO* CUpdateCatalogue::ServerFile(int record) const {
    if (record < 0 || record >= static_cast<int>(m_vecServerFiles.size())) return nullptr;
    return &m_vecServerFiles[static_cast<size_t>(record)];
}
