// The server check and the server folder of this copy's edition.
#include "update/UpdateCatalogue.h"

#include "system/EnvironmentProbes.h"
#include "system/PrivateFolder.h"
#include "system/Sha256.h"
#include "system/DiagnosticsLog.h"
#include "update/FtpSession.h"
#include "update/ReleaseSerials.h"
#include "update/SetupSignature.h"
#include "update/StatementSignature.h"
#include "update/UpdateDiagnostics.h"
#include "update/logic/Catalogue.h"
#include "update/logic/ReleaseRules.h"

#include <algorithm>

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

bool CUpdateCatalogue::Check() {
    m_vecServerFiles.clear();
    m_pRelease.reset();
    m_bReleaseRefused = false;
    probes::ReadInstalledScannerVersion(nullptr, m_strBitness, m_strInstalledVersion);
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
    ReadRelease(session);
    SizeOfferedFile(session);
    LogServerListing(server, m_strServerFolder, listed, m_vecServerFiles, m_pRelease.get());
    session.Disconnect();
    return true;
}

void CUpdateCatalogue::ReadRelease(CFtpSession& session) {
    const auto listed = [this](const wchar_t* name) {
        return std::any_of(m_vecServerFiles.begin(), m_vecServerFiles.end(),
                           [name](const FTP_FILE_INFO& file) { return file.Name() == name; });
    };
    const bool present = listed(kStatementFile);
    const bool required = BuildNamesPublisher();
    if (!present) {
        // Servers of today publish none; a build that names its publisher offers nothing without it.
        m_bReleaseRefused = required;
        LogEvent("release.statement", {{"present", false}, {"required", required}});
        return;
    }
    const std::wstring folder = DownloadServerFolder(m_strEditionSource, !GetTestSuffix().empty());
    std::vector<uint8_t> text;
    std::vector<uint8_t> signature;
    session.ReadSmallFile(folder + kStatementFile, kMaxStatementBytes, text);
    if (listed(kStatementSignatureFile))
        session.ReadSmallFile(folder + kStatementSignatureFile, kMaxStatementSignatureBytes, signature);

    CertFingerprint signer{};
    const StatementSignatureFacts facts = CheckStatementSignature(text, signature, signer);
    auto statement = std::make_shared<ReleaseStatement>();
    std::string why;
    const bool parsed = facts.intact && ParseReleaseStatement(text.data(), text.size(), *statement, &why);
    StatementContext context;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    context.now = static_cast<int64_t>(((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) /
                                           10000000ULL) -
                  11644473600LL;  // 1601 to 1970
    context.edition = StatementEditionOf(m_strServerFolder);
    context.highestSerial = HighestAcceptedSerial(context.edition);
    const StatementVerdict verdict = JudgeStatement(facts, parsed, *statement, context);
    LogEvent("release.statement", {{"present", true},
                                   {"required", required},
                                   {"bytes", text.size()},
                                   {"signature_bytes", signature.size()},
                                   {"signer", ToHex(signer)},
                                   {"verdict", StatementVerdictName(verdict)},
                                   {"why", why},
                                   {"edition", statement->edition},
                                   {"serial", std::to_string(statement->serial)},
                                   {"highest_serial", std::to_string(context.highestSerial)},
                                   {"expires", FormatStatementTime(statement->expires)},
                                   {"downgrade", statement->allowDowngrade}});
    if (verdict != StatementVerdict::Valid) {
        m_bReleaseRefused = true;
        return;
    }
    RecordAcceptedSerial(context.edition, statement->serial);
    m_pRelease = std::move(statement);
}

void CUpdateCatalogue::SizeOfferedFile(CFtpSession& session) {
    if (m_bReleaseRefused) return;
    const OfferedFile offered = FindOfferedFile(m_vecServerFiles, m_pRelease.get());
    if (offered.index < 0) return;
    FTP_FILE_INFO& file = m_vecServerFiles[static_cast<size_t>(offered.index)];
    if (m_pRelease) {
        file.dwFileSize = m_pRelease->Find(file.Name())->size;
    } else if (ListedSizeMayBeCapped(file.dwFileSize)) {
        // The listing cannot tell sizes of 2 GiB or more under Wine: the server's SIZE can.
        const int64_t size = session.RemoteFileSize(m_strServerFolder + L"\\" + file.Name());
        if (size >= 0) file.dwFileSize = size;
    }
}

std::vector<OfferedSetup> CUpdateCatalogue::FindOffered() const {
    std::vector<OfferedSetup> offered;
    if (m_bReleaseRefused) return offered;
    const OfferedFile first = FindOfferedFile(m_vecServerFiles, m_pRelease.get());
    if (first.index < 0) return offered;
    OfferedSetup setup;
    setup.file = m_vecServerFiles[static_cast<size_t>(first.index)];
    setup.version = first.serverVersion;
    setup.installedIsCurrent = m_pRelease && InstalledIsCurrent(*m_pRelease, setup.file.Name(), InstalledVersion());
    offered.push_back(setup);
    return offered;
}

std::wstring CUpdateCatalogue::Title() const { return OfferedRowTitle(m_strEditionSource); }

std::optional<FourPartVersion> CUpdateCatalogue::InstalledVersion() const {
    FourPartVersion version;
    if (!ReadVersionText(m_strInstalledVersion, version)) return std::nullopt;
    return version;
}
