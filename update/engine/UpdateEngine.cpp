// The road's engine: each command moves the road's state machine and starts the step it names; each
// step's end starts the next one, and every end is told to the driver as a fact, in a task of the
// driver's thread.
#include "update/engine/UpdateEngine.h"

#include "system/DiagnosticsLog.h"
#include "system/EnvironmentProbes.h"
#include "update/handoff/InstallHandOff.h"
#include "update/handoff/SetupSignature.h"
#include "update/sources/SourceFailover.h"
#include "update/sources/SourceSessions.h"

CUpdateEngine::CUpdateEngine(IRoadObserver& observer, std::shared_ptr<CUiTaskQueue> tasks, RoadOptions options)
    : m_observer(observer), m_pTasks(std::move(tasks)), m_options(std::move(options)) {
    m_catalogue.SetProxyCredentialPrompt([this](const std::wstring& host, std::wstring& user, std::wstring& password) {
        return m_observer.AskProxyCredentials(host, user, password);
    });
    m_catalogue.FollowRollout(m_options.followRollout);
}

CUpdateEngine::~CUpdateEngine() {
    Stop();
    // It only reads local stores; a run that ends before they are read does not wait long for it.
    constexpr DWORD kRootsReaderWaitMs = 2000;
    if (m_pRootsReader) m_pRootsReader->Wait(kRootsReaderWaitMs);
}

bool CUpdateEngine::Check() {
    if (!m_road.BeginCheck()) return false;
    m_offer = RoadOffer();
    m_chosen.clear();
    // The statement's signature is checked as soon as the server has sent it; its roots are read
    // meanwhile.
    if (!m_pRootsReader) m_pRootsReader = BeginReadingTrustedRoots();
    // Whatever the sources do, the check ends within its own bound, and a script's within its deadline.
    LineBounds bounds;
    ApplyTestLineBounds(bounds);
    const uint64_t deadline = EarlierDeadline(::GetTickCount64() + bounds.checkTotalMs, m_options.deadlineTick);
    m_offer.reached = m_catalogue.Check(m_options.localFolder, deadline);
    m_offer.title = m_catalogue.Title();
    m_offer.installedVersion = m_catalogue.InstalledVersionText();
    if (m_offer.reached) m_offer.setups = m_catalogue.FindOffered();
    m_offer.updatable.assign(m_offer.setups.size(), true);
    m_offer.wrongClock = m_catalogue.WrongClock();
    CheckFindings found;
    found.reached = m_offer.reached;
    found.offered = !m_offer.setups.empty();
    found.releaseWithheld = m_catalogue.ReleaseWithheld();
    found.clockWrong = m_offer.wrongClock.has_value();
    found.current = found.offered && m_options.stopWhenCurrent && m_offer.setups.front().installedIsCurrent;
    const RoadOutcome result = OutcomeOfCheck(found);
    m_road.EndCheck(result);
    LogEvent("road.checked", {{"outcome", RoadOutcomeName(result)}, {"offered", m_offer.setups.size()}});
    RoadFact fact;
    fact.kind = RoadFactKind::Checked;
    Tell(fact);
    return true;
}

bool CUpdateEngine::Start(const std::vector<size_t>& chosen) {
    if (Busy() || chosen.empty()) return false;
    std::vector<RemoteEntry> files;
    for (size_t index : chosen) {
        if (index >= m_offer.setups.size() || !m_offer.updatable[index]) return false;
        files.push_back(m_offer.setups[index].file);
    }
    if (!m_road.BeginDownload()) return false;
    m_chosen = chosen;
    // A scanner in use that this run may not end: nothing is downloaded.
    if (!m_options.mayEndScanner && probes::IsScannerRunning()) {
        Abandon(RoadOutcome::ScannerRunning);
        return true;
    }
    m_request = DownloadRequest();
    m_request.items = files;
    m_request.serverFolder = m_catalogue.BuildServerFolderForDownload();
    m_request.workFolder = CUpdateCatalogue::GetWorkFolder();
    m_request.server = m_catalogue.SourceConnection();
    m_request.release.statement = m_catalogue.Release();
    m_request.release.installed = m_catalogue.InstalledVersion();
    m_request.release.publisherNamed = BuildNamesPublisher();
    std::vector<LaterSource> later;
    for (const UpdateSource& source : m_catalogue.LaterSources())
        later.push_back({source, m_catalogue.ConnectionFor(source)});
    auto failover = std::make_unique<CSourceFailover>(std::move(later), m_request.release.statement,
                                                      m_request.serverFolder, m_catalogue.StatementEdition());
    if (!m_download.Start(m_request, m_catalogue.Source(), m_pTasks, std::move(failover))) {
        DownloadFailed(DownloadResult::NoInternet);
        return true;
    }
    m_log.Started(files);
    return true;
}

void CUpdateEngine::Report(const DownloadStatus& status) {
    m_log.Report(m_request.items, status);
    // A setup whose row shows what has arrived is not offered again until the next check.
    if (TransferHasBegun(status) && status.item < m_chosen.size()) m_offer.updatable[m_chosen[status.item]] = false;
    RoadFact fact;
    fact.kind = RoadFactKind::Progress;
    fact.status = status;
    Tell(fact);
}

// Every byte is on disk: the road's Verifying step checks the held setup program, then hands off.
void CUpdateEngine::DownloadFinished(FinishedDownload download) {
    m_log.Received();
    if (!m_road.EndDownload(DownloadResult::Completed)) return;
    RoadFact fact;
    fact.kind = RoadFactKind::Verifying;
    Tell(fact);
    const auto checked = [this](FinishedDownload verified) { HandOff(std::move(verified)); };
    // Without a helper the setup program stays unchecked, so the hand-off refuses it.
    if (!m_setupCheck.Start(m_request, download, m_pTasks, checked)) HandOff(std::move(download));
}

void CUpdateEngine::DownloadFailed(DownloadResult result) {
    m_log.Failed(result);
    if (!m_road.EndDownload(result)) return;
    RoadFact fact;
    fact.kind = RoadFactKind::DownloadFailed;
    fact.download = result;
    Tell(fact);
}

void CUpdateEngine::HandOff(FinishedDownload download) {
    m_log.Finished(download);
    if (!m_road.BeginHandOff()) return;
    // The setup program is let go when the hand-off is over, whatever its end.
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
}

bool CUpdateEngine::Stop() {
    const bool running = m_download.IsRunning() || m_setupCheck.IsRunning();
    if (m_download.IsRunning()) m_log.Stopped();
    m_download.Stop();
    m_setupCheck.Stop();
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

void CUpdateEngine::Tell(const RoadFact& fact) {
    m_facts.push_back(fact);
    const std::weak_ptr<const bool> alive = m_pAlive;
    m_pTasks->Post([this, alive] {
        if (!alive.expired()) TellQueued();
    });
}

// A driver that waits for its user inside a fact (a notice) runs its queue meanwhile: the facts
// told then wait for this loop, so the driver never handles one inside another.
void CUpdateEngine::TellQueued() {
    if (m_bTelling) return;
    m_bTelling = true;
    while (!m_facts.empty()) {
        const RoadFact fact = m_facts.front();
        m_facts.pop_front();
        m_observer.OnRoadFact(fact);
    }
    m_bTelling = false;
}
