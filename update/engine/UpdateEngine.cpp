// The road's engine: each command moves the road's state machine and starts the step it names; each
// step's end starts the next one, and every end is told to the driver as a fact, in a task of the
// driver's thread.
#include "update/engine/UpdateEngine.h"

#include "system/DiagnosticsLog.h"
#include "system/EnvironmentProbes.h"
#include "update/engine/KeptDownloads.h"
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
    if (m_options.startEarly)
        m_catalogue.OnEarlyOffer([this](const EarlyOffer* offer) {
            if (offer)
                BeginEarly(*offer);
            else
                DropEarly("source-passed");
        });
}

CUpdateEngine::~CUpdateEngine() {
    Stop();
    // It only reads local stores; a run that ends before they are read does not wait long for it.
    constexpr DWORD kRootsReaderWaitMs = 2000;
    if (m_pRootsReader) m_pRootsReader->Wait(kRootsReaderWaitMs);
}

bool CUpdateEngine::Check() {
    if (!m_road.BeginCheck()) return false;
    DropEarly("checked-again");
    m_offer = RoadOffer();
    m_chosen.clear();
    // The statement's signature is checked as soon as the server has sent it; its roots are read
    // meanwhile.
    if (!m_pRootsReader) m_pRootsReader = BeginReadingTrustedRoots();
    m_offer.reached = m_catalogue.Check(m_options.localFolder);
    m_offer.title = m_catalogue.Title();
    m_offer.installedVersion = m_catalogue.InstalledVersionText();
    if (m_offer.reached) m_offer.setups = m_catalogue.FindOffered();
    m_offer.updatable.assign(m_offer.setups.size(), true);
    RoadOutcome result = !m_offer.reached         ? RoadOutcome::ServerUnreachable
                         : m_offer.setups.empty() ? RoadOutcome::NothingOffered
                                                  : RoadOutcome::Offered;
    if (result == RoadOutcome::Offered && m_options.stopWhenCurrent && m_offer.setups.front().installedIsCurrent)
        result = RoadOutcome::AlreadyCurrent;
    if (result != RoadOutcome::Offered) DropEarly("not-offered");
    m_road.EndCheck(result);
    LogEvent("road.checked", {{"outcome", RoadOutcomeName(result)}, {"offered", m_offer.setups.size()}});
    RoadFact fact;
    fact.kind = RoadFactKind::Checked;
    Tell(fact);
    return true;
}

bool CUpdateEngine::Start(const std::vector<size_t>& chosen) {
    if (Busy() || chosen.empty()) return false;
    std::vector<FTP_FILE_INFO> files;
    for (size_t index : chosen) {
        if (index >= m_offer.setups.size() || !m_offer.updatable[index]) return false;
        files.push_back(m_offer.setups[index].file);
    }
    if (!m_road.BeginDownload()) return false;
    m_chosen = chosen;
    // A scanner in use that this run may not end: nothing is downloaded.
    if (!m_options.mayEndScanner && probes::IsScannerRunning()) {
        DropEarly("scanner-running");
        Abandon(RoadOutcome::ScannerRunning);
        return true;
    }
    m_request = RequestFor(files, m_catalogue.BuildServerFolderForDownload(), m_catalogue.SourceConnection(),
                           m_catalogue.Release());
    if (AdoptEarly(m_request)) return true;
    DropEarly(m_early.failure ? "failed" : "not-the-same");
    if (!m_download.Start(m_request, m_catalogue.Source(), m_pTasks, FailoverFor(m_catalogue.LaterSources(), m_request))) {
        DownloadFailed(DownloadResult::NoInternet);
        return true;
    }
    m_log.Started(files);
    return true;
}

DownloadRequest CUpdateEngine::RequestFor(const std::vector<FTP_FILE_INFO>& files, const std::wstring& serverFolder,
                                          const SourceConnectionSettings& server,
                                          std::shared_ptr<const ReleaseStatement> statement) const {
    DownloadRequest request;
    request.items = files;
    request.serverFolder = serverFolder;
    request.workFolder = CUpdateCatalogue::GetWorkFolder();
    request.server = server;
    request.release.statement = std::move(statement);
    request.release.installed = m_catalogue.InstalledVersion();
    request.release.publisherNamed = BuildNamesPublisher();
    return request;
}

std::unique_ptr<CSourceFailover> CUpdateEngine::FailoverFor(const std::vector<UpdateSource>& later,
                                                            const DownloadRequest& request) const {
    std::vector<LaterSource> sources;
    for (const UpdateSource& source : later) sources.push_back({source, m_catalogue.ConnectionFor(source)});
    return std::make_unique<CSourceFailover>(std::move(sources), request.release.statement, request.serverFolder,
                                             m_catalogue.StatementEdition());
}

// The check has read a statement that offers a setup program and now checks its signature: the
// transfer begins meanwhile, its reports held until the road downloads. Nothing it brings is
// checked or launched unless Start adopts it once the check has found the statement valid.
void CUpdateEngine::BeginEarly(const EarlyOffer& offer) {
    if (m_early.Holding() || m_download.IsRunning()) return;
    if (offer.installedIsCurrent && m_options.stopWhenCurrent) return;
    if (!m_options.mayEndScanner && probes::IsScannerRunning()) return;
    DownloadRequest request = RequestFor({offer.file}, offer.serverFolder, offer.connection, offer.statement);
    if (!m_download.Start(request, offer.source, m_pTasks, FailoverFor(offer.laterSources, request))) return;
    m_early.state = EarlyDownload::State::Running;
    m_early.source = offer.source;
    m_early.laterSources = offer.laterSources;
    m_early.request = std::move(request);
    LogEvent("download.early", {{"file", offer.file.Name()}, {"source", offer.source.Display()}});
    m_log.Started(m_early.request.items);
}

// Start's request is the early download's, from the same source with the same sources after it, and
// the transfer has not failed: the road goes on with it.
bool CUpdateEngine::AdoptEarly(const DownloadRequest& request) {
    if (m_early.state != EarlyDownload::State::Running || m_early.failure) return false;
    if (m_early.source != m_catalogue.Source() || m_early.laterSources != m_catalogue.LaterSources() ||
        !SameDownload(m_early.request, request))
        return false;
    m_early.state = EarlyDownload::State::Adopted;
    LogEvent("download.early-adopted", {});
    const std::weak_ptr<const bool> alive = m_pAlive;
    m_pTasks->Post([this, alive] {
        if (!alive.expired()) ReleaseEarlyReports();
    });
    return true;
}

void CUpdateEngine::DropEarly(const char* why) {
    if (m_early.state != EarlyDownload::State::Running) return;
    m_download.Stop();
    m_early.finished.reset();  // lets the setup program it held go
    // Bytes fetched on the word of a statement that the check did not find valid are not kept, in
    // the keeping folder or, complete, in the work folder.
    DownloadRequest vouched = m_early.request;
    vouched.release.statement = m_catalogue.Release();
    const bool keep = vouched.release.statement && SameDownload(vouched, m_early.request);
    if (!keep) {
        const std::vector<KeptOffer> offers = KeptOffersOf(m_early.request);
        CKeptDownloads kept(offers);
        if (kept.Offered() && kept.Open())
            for (const KeptOffer& offer : offers) kept.Discard(offer);
        // The work folder was emptied when the transfer began: a file there of that name is its own
        // (a name the transfer refuses to write is never made into a path).
        for (const FTP_FILE_INFO& item : m_early.request.items)
            if (IsSafeLocalFileName(item.Name())) ::DeleteFileW(LocalPathOf(m_early.request, item.Name()).c_str());
    }
    LogEvent("download.early-dropped", {{"reason", why}, {"kept", keep}});
    m_early = EarlyDownload();
}

// Queued behind every report the early transfer posted before it was adopted.
void CUpdateEngine::ReleaseEarlyReports() {
    if (m_early.state != EarlyDownload::State::Adopted) return;
    EarlyDownload early = std::move(m_early);
    m_early = EarlyDownload();
    for (const DownloadStatus& status : early.reports) Report(status);
    if (early.finished) DownloadFinished(std::move(*early.finished));
    else if (early.failure) DownloadFailed(*early.failure);
}

void CUpdateEngine::Report(const DownloadStatus& status) {
    if (m_early.Holding()) {
        m_early.reports.push_back(status);
        return;
    }
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
    if (m_early.Holding()) {
        m_early.finished = std::make_unique<FinishedDownload>(std::move(download));
        return;
    }
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
    if (m_early.Holding()) {
        m_early.failure = result;
        return;
    }
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
    DropEarly("stopped");
    // An adopted transfer whose reports are not told yet is the road's download, ended or not; its
    // reports never are.
    const bool downloading = m_download.IsRunning() || m_early.Holding();
    const bool running = downloading || m_setupCheck.IsRunning();
    if (downloading) m_log.Stopped();
    m_early = EarlyDownload();
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
