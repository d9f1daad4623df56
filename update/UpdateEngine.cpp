// The road's engine: each command moves the road's state machine and starts the step it names; each
// step's end is told to the driver as a fact, on the driver's thread.
#include "update/UpdateEngine.h"

#include "system/DiagnosticsLog.h"
#include "system/EnvironmentProbes.h"
#include "update/InstallHandOff.h"
#include "update/SetupSignature.h"
#include "update/SourceFailover.h"
#include "update/SourceSessions.h"

CUpdateEngine::CUpdateEngine(IRoadObserver& observer, std::shared_ptr<CUiTaskQueue> tasks, RoadOptions options)
    : m_observer(observer), m_pTasks(std::move(tasks)), m_options(options) {
    m_catalogue.SetProxyCredentialPrompt([this](const std::wstring& host, std::wstring& user, std::wstring& password) {
        return m_observer.AskProxyCredentials(host, user, password);
    });
}

CUpdateEngine::~CUpdateEngine() { Stop(); }

bool CUpdateEngine::Check() {
    if (!m_road.BeginCheck()) return false;
    m_offer = RoadOffer();
    m_chosen.clear();
    m_offer.reached = m_catalogue.Check(m_options.localFolder);
    m_offer.title = m_catalogue.Title();
    m_offer.installedVersion = m_catalogue.InstalledVersionText();
    if (m_offer.reached) m_offer.setups = m_catalogue.FindOffered();
    RoadOutcome result = !m_offer.reached         ? RoadOutcome::ServerUnreachable
                         : m_offer.setups.empty() ? RoadOutcome::NothingOffered
                                                  : RoadOutcome::Offered;
    if (result == RoadOutcome::Offered && m_options.stopWhenCurrent && m_offer.setups.front().installedIsCurrent)
        result = RoadOutcome::AlreadyCurrent;
    m_road.EndCheck(result);
    LogEvent("road.checked", {{"outcome", RoadOutcomeName(result)}, {"offered", m_offer.setups.size()}});
    RoadFact fact;
    fact.kind = RoadFactKind::Checked;
    Tell(fact);
    return true;
}

bool CUpdateEngine::Start(const std::vector<size_t>& chosen) {
    if (m_road.State() != RoadState::Ready || chosen.empty()) return false;
    std::vector<FTP_FILE_INFO> files;
    for (size_t index : chosen) {
        if (index >= m_offer.setups.size()) return false;
        files.push_back(m_offer.setups[index].file);
    }
    if (!m_road.BeginDownload()) return false;
    m_chosen = std::move(files);
    // A scanner in use that this run may not end: nothing is downloaded.
    if (!m_options.mayEndScanner && probes::IsScannerRunning()) {
        Abandon(RoadOutcome::ScannerRunning);
        return true;
    }
    DownloadRequest request;
    request.items = m_chosen;
    request.serverFolder = m_catalogue.BuildServerFolderForDownload();
    request.workFolder = CUpdateCatalogue::GetWorkFolder();
    request.server = m_catalogue.SourceConnection();
    request.sizeFromTheStart = m_catalogue.Source().kind != SourceKind::Ftp;
    request.release.statement = m_catalogue.Release();
    request.release.installed = m_catalogue.InstalledVersion();
    request.release.publisherNamed = BuildNamesPublisher();
    std::vector<LaterSource> later;
    for (const UpdateSource& source : m_catalogue.LaterSources())
        later.push_back({source, m_catalogue.ConnectionFor(source)});
    auto failover = std::make_unique<CSourceFailover>(std::move(later), request.release.statement, request.serverFolder,
                                                      m_catalogue.StatementEdition());
    if (!m_download.Start(std::move(request), m_catalogue.Source(), m_pTasks, std::move(failover))) {
        m_road.EndDownload(DownloadResult::NoInternet);
        RoadFact fact;
        fact.kind = RoadFactKind::DownloadFailed;
        fact.download = DownloadResult::NoInternet;
        Tell(fact);
        return true;
    }
    m_log.Started(m_chosen);
    return true;
}

void CUpdateEngine::Report(const DownloadStatus& status) {
    if (status.state == DownloadState::Verifying) {
        if (!m_road.BeginVerify()) return;
        m_log.Received();
        RoadFact fact;
        fact.kind = RoadFactKind::Verifying;
        Tell(fact);
        return;
    }
    m_log.Report(m_chosen, status);
    RoadFact fact;
    fact.kind = RoadFactKind::Progress;
    fact.status = status;
    Tell(fact);
}

void CUpdateEngine::DownloadFinished(FinishedDownload download) {
    m_log.Finished(download);
    if (!m_road.EndDownload(DownloadResult::Completed)) return;
    m_finished = std::move(download);
    RoadFact fact;
    fact.kind = RoadFactKind::HandOffDue;
    Tell(fact);
}

void CUpdateEngine::DownloadFailed(DownloadResult result) {
    m_log.Failed(result);
    if (!m_road.EndDownload(result)) return;
    RoadFact fact;
    fact.kind = RoadFactKind::DownloadFailed;
    fact.download = result;
    Tell(fact);
}

bool CUpdateEngine::HandOff() {
    if (m_road.State() != RoadState::HandingOff || !m_finished.setup) return false;
    // Taken over here, so the setup program is let go when the hand-off is over, whatever its end.
    FinishedDownload download = std::move(m_finished);
    m_finished = FinishedDownload();
    SetupStart start;
    start.unattended = m_options.unattended;
    start.hidden = m_options.hideSetup;
    if (m_options.deadlineTick) {
        const uint64_t now = ::GetTickCount64();
        start.waitMs = now < m_options.deadlineTick ? static_cast<DWORD>(m_options.deadlineTick - now) : 0;
    }
    const HandOffEnd end =
        RunInstallHandOff(CUpdateCatalogue::GetWorkFolder(), download, m_options.mayEndScanner, start);
    LogHandOff(end.result);
    m_road.EndHandOff(end.result);
    RoadFact fact;
    fact.kind = RoadFactKind::HandedOff;
    fact.handOff = end.result;
    fact.setupWait = end.wait;
    fact.setupExitCode = end.setupExitCode;
    Tell(fact);
    return true;
}

bool CUpdateEngine::Stop() {
    const bool running = m_download.IsRunning();
    if (running) m_log.Stopped();
    m_download.Stop();
    if (running) m_road.Abandon(RoadOutcome::Stopped);
    return running;
}

void CUpdateEngine::Abandon(RoadOutcome why) {
    m_road.Abandon(why);
    LogEvent("road.abandoned", {{"reason", RoadOutcomeName(why)}});
    RoadFact fact;
    fact.kind = RoadFactKind::Abandoned;
    Tell(fact);
}

void CUpdateEngine::Tell(const RoadFact& fact) { m_observer.OnRoadFact(fact); }
