// The server check and the server folder of this copy's edition.
#include "update/catalogue/UpdateCatalogue.h"

#include "system/EnvironmentProbes.h"
#include "system/MachineId.h"
#include "system/HeldFolder.h"
#include "system/Sha256.h"
#include "system/DiagnosticsLog.h"
#include "update/sources/ProxyCredentials.h"
#include "update/release/ReleaseReader.h"
#include "update/release/ReleaseSerials.h"
#include "update/handoff/SetupSignature.h"
#include "update/sources/SourceSessions.h"
#include "update/engine/UpdateDiagnostics.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/sources/logic/HttpRules.h"
#include "update/release/logic/ReleaseRules.h"
#include "update/release/logic/Rollout.h"

#include <algorithm>

namespace {
// Why a source gave no file, in the terms of the choice of source.
SourceSkip SkipOf(const ISourceSession& session, SourceSkip otherwise) {
    switch (session.LastFailure()) {
    case SourceFailure::Certificate: return SourceSkip::CertificateRefused;
    case SourceFailure::ProxyAuth: return SourceSkip::Refused;
    case SourceFailure::Unreachable: return SourceSkip::Unreachable;
    case SourceFailure::None:
    case SourceFailure::Refused: break;
    }
    return otherwise;
}
}  // namespace

std::wstring CUpdateCatalogue::GetWorkFolder() { return kWorkFolder; }

std::wstring CUpdateCatalogue::GetTestSuffix() {
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

bool CUpdateCatalogue::Check(const std::wstring& localFolder, uint64_t deadlineTick) {
    ClearServerFiles();
    m_wrongClock.reset();
    probes::ReadInstalledScannerVersion(nullptr, m_strBitness, m_strInstalledVersion);
    BuildServerFolder();
    m_strStatementEdition = StatementEditionOf(m_strServerFolder);
    const auto turn = [this, deadlineTick](const UpdateSource& source, SourceSkip& skip, std::wstring& askingProxy) {
        m_strAskingProxy.clear();
        const bool offers = TrySource(source, ConnectionFor(source), deadlineTick, skip);
        askingProxy = m_strAskingProxy;
        if (!offers) ClearServerFiles();
        return offers;
    };
    return m_sources.Choose(RunSources(BuildUpdateSources(), localFolder), turn);
}

bool CUpdateCatalogue::TrySource(const UpdateSource& source, const SourceConnectionSettings& server,
                                 uint64_t deadlineTick, SourceSkip& skip) {
    const std::unique_ptr<ISourceSession> session = MakeSourceSession(source);
    session->FinishBy(deadlineTick);
    if (session->Connect(server) != ConnectResult::Connected) {
        session->Disconnect();
        skip = SourceSkip::Unreachable;
        return false;
    }
    int listed = kSessionError;
    bool statementListed = true;
    if (!ListSource(*session, listed, statementListed)) {
        session->Disconnect();
        skip = SourceSkip::Unreachable;
        return false;
    }
    // A server of today publishes no statement; HTTPS and a folder must, as must every source of a
    // build that names its publisher.
    const bool required = session->NeedsStatement() || BuildNamesPublisher();
    if (!ReadRelease(*session, statementListed, required)) {
        session->Disconnect();
        skip = SkipOf(*session, SourceSkip::Unreachable);
        if (session->LastFailure() == SourceFailure::ProxyAuth) m_strAskingProxy = session->Proxy();
        return false;
    }
    if (!session->CanList() && m_pRelease) {
        for (const ReleaseFile& file : m_pRelease->files) {
            RemoteEntry info;
            info.name = file.name;
            info.size = file.size;
            m_vecServerFiles.push_back(info);
        }
        listed = static_cast<int>(m_vecServerFiles.size());
    }
    SizeOfferedFile(*session);
    LogServerListing(server, m_strServerFolder, listed, m_vecServerFiles, m_pRelease.get());
    session->Disconnect();
    if (m_bReleaseRefused) {
        skip = SkipOf(*session, m_bClockRefused ? SourceSkip::ClockWrong : SourceSkip::NoRelease);
        if (session->LastFailure() == SourceFailure::ProxyAuth) m_strAskingProxy = session->Proxy();
        return false;
    }
    return Offers(skip);
}

bool CUpdateCatalogue::ListSource(ISourceSession& session, int& listed, bool& statementListed) {
    // HTTPS has no listing: the release statement says what there is.
    if (!session.CanList()) return true;
    listed = session.ListFiles(m_strServerFolder, m_vecServerFiles, L"*");
    // A listing the line failed (one that ran out of time) is not an empty folder.
    if (listed == kSessionError && IsLineFailure(session.LastFailure())) return false;
    statementListed = std::any_of(m_vecServerFiles.begin(), m_vecServerFiles.end(),
                                  [](const RemoteEntry& file) { return file.name == kStatementFile; });
    return true;
}

bool CUpdateCatalogue::Offers(SourceSkip& skip) const {
    // A release the maker halted is no more offered here than elsewhere: no other source is needed.
    if (m_pRelease && RolloutWithholds()) {
        skip = SourceSkip::NothingOffered;
        return false;
    }
    if (m_pRelease && WithholdsRelease()) {
        skip = SourceSkip::ReleaseWithheld;
        return false;
    }
    if (FindOffered().empty()) {
        skip = SourceSkip::NothingOffered;
        return false;
    }
    return true;
}

bool CUpdateCatalogue::ReadRelease(ISourceSession& session, bool listed, bool required) {
    if (!listed) {
        // Servers of today publish none; a build that names its publisher offers nothing without it.
        m_bReleaseRefused = required;
        LogEvent("release.statement", {{"present", false}, {"required", required}});
        return true;
    }
    const std::wstring folder = DownloadServerFolder(m_strEditionSource, !GetTestSuffix().empty());
    FetchedRelease fetched;
    if (!FetchRelease(session, folder, m_strStatementEdition, fetched)) return false;
    const ReleaseStatement& statement = *fetched.statement;
    const StatementVerdict verdict = fetched.verdict;
    LogEvent("release.statement", {{"present", fetched.present},
                                   {"required", required},
                                   {"bytes", fetched.bytes},
                                   {"signature_bytes", fetched.signatureBytes},
                                   {"signer", ToHex(fetched.signer)},
                                   {"publisher", ToHex(fetched.publisher)},
                                   {"verdict", StatementVerdictName(verdict)},
                                   {"why", fetched.why},
                                   {"edition", statement.edition},
                                   {"serial", std::to_string(statement.serial)},
                                   {"highest_serial", std::to_string(fetched.context.highestSerial)},
                                   {"expires", FormatStatementTime(statement.expires)},
                                   {"downgrade", statement.allowDowngrade}});
    if (verdict != StatementVerdict::Valid) {
        m_bReleaseRefused = fetched.present || required;
        if (fetched.clock != ClockVerdict::Unknown) NoteWrongClock(fetched);
        return true;
    }
    if (!RecordAcceptedSerial(fetched.publisher, fetched.context.edition, statement.serial))
        LogEvent("release.serial-not-kept", {{"serial", std::to_string(statement.serial)}});
    m_pRelease = std::move(fetched.statement);
    return true;
}

bool CUpdateCatalogue::RolloutWithholds() const {
    const std::wstring machineId = ReadMachineId();
    const int bucket = RolloutBucket(machineId, m_strStatementEdition);
    const bool offered = RolloutOffers(m_pRelease->rolloutPercent, bucket, m_bStagedRollout);
    LogEvent("release.rollout", {{"percent", m_pRelease->rolloutPercent},
                                 {"bucket", bucket},
                                 {"machine_id", machineId.empty() ? "missing" : "found"},
                                 {"staged", m_bStagedRollout},
                                 {"offered", offered}});
    return !offered;
}

bool CUpdateCatalogue::WithholdsRelease() const {
    const ReleaseOffer offer = JudgeReleaseOffer(m_vecServerFiles, *m_pRelease, InstalledVersion());
    if (offer.held == ReleaseHeld::Offered || offer.held == ReleaseHeld::NotNeeded) return false;
    LogEvent("release.withheld", {{"file", offer.newest->name},
                                  {"version", FormatFourPartVersionW(offer.newest->version)},
                                  {"installed", m_strInstalledVersion},
                                  {"why", ReleaseHeldName(offer.held)}});
    return true;
}

void CUpdateCatalogue::NoteWrongClock(const FetchedRelease& fetched) {
    const ReleaseStatement& statement = *fetched.statement;
    const StatementContext& context = fetched.context;
    m_bClockRefused = true;
    if (!m_wrongClock) m_wrongClock = context.now;
    LogEvent("release.clock", {{"verdict", ClockVerdictName(fetched.clock)},
                               {"pc_time", FormatStatementTime(context.now)},
                               {"signed", statement.signedAt ? FormatStatementTime(*statement.signedAt) : "-"},
                               {"expires", FormatStatementTime(statement.expires)},
                               {"server_date", context.serverDate ? FormatStatementTime(*context.serverDate) : "-"}});
}

void CUpdateCatalogue::SizeOfferedFile(ISourceSession& session) {
    if (m_bReleaseRefused) return;
    const OfferedFile offered = FindOfferedFile(m_vecServerFiles, m_pRelease.get());
    if (offered.index < 0) return;
    RemoteEntry& file = m_vecServerFiles[static_cast<size_t>(offered.index)];
    if (m_pRelease) {
        file.size = m_pRelease->Find(file.name)->size;
    } else if (ListedSizeMayBeCapped(file.size)) {
        // The listing cannot tell sizes of 2 GiB or more under Wine: the server's SIZE can.
        const int64_t size = session.RemoteFileSize(m_strServerFolder + L"\\" + file.name);
        if (size >= 0) file.size = size;
    }
}

void CUpdateCatalogue::ClearServerFiles() {
    m_vecServerFiles.clear();
    m_pRelease.reset();
    m_bReleaseRefused = false;
    m_bClockRefused = false;
}

std::vector<OfferedSetup> CUpdateCatalogue::FindOffered() const {
    std::vector<OfferedSetup> offered;
    if (m_bReleaseRefused) return offered;
    const OfferedFile first = FindOfferedFile(m_vecServerFiles, m_pRelease.get());
    if (first.index < 0) return offered;
    OfferedSetup setup;
    setup.file = m_vecServerFiles[static_cast<size_t>(first.index)];
    setup.version = first.serverVersion;
    setup.installedIsCurrent = m_pRelease && InstalledIsCurrent(*m_pRelease, setup.file.name, InstalledVersion());
    offered.push_back(setup);
    return offered;
}

std::wstring CUpdateCatalogue::Title() const { return OfferedRowTitle(m_strEditionSource); }

std::optional<FourPartVersion> CUpdateCatalogue::InstalledVersion() const {
    FourPartVersion version;
    if (!ReadVersionText(m_strInstalledVersion, version)) return std::nullopt;
    return version;
}
