// The road of one installation as one engine: the server check, the download, the setup program's
// check and the hand-off, each step begun by the engine when the one before has ended. It reports
// facts, in order, as tasks of its driver's thread; the window and the command line drive it and
// turn the facts into what they show. Nothing here knows a window, a list row, the text table or
// the user-interface language.
#pragma once

#include "framework/Thread.h"
#include "framework/UiTaskQueue.h"
#include "update/handoff/SetupCheckStep.h"
#include "update/catalogue/UpdateCatalogue.h"
#include "update/engine/UpdateDiagnostics.h"
#include "update/engine/UpdateDownload.h"
#include "update/engine/UpdateSink.h"
#include "update/engine/logic/Road.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the last server check found.
struct RoadOffer {
    bool reached = false;              // the server answered and the folder was read
    std::wstring title;                // "KESTRA-Factory", or "Talvix-Main" for an unknown edition
    std::wstring installedVersion;     // the installed scanner's version text, "-" when none
    std::vector<OfferedSetup> setups;  // in the server's order
    // One per setup: it may be downloaded. A setup whose transfer has begun (its row shows a
    // percentage or "Completed") is not, until the next check.
    std::vector<bool> updatable;
    // The PC's date (seconds since 1970 UTC) when a statement showed it wrong: see RoadOutcome::ClockWrong.
    std::optional<int64_t> wrongClock;
};

enum class RoadFactKind {
    Checked,         // the server check ended: see Offer()
    Progress,        // an item's download state: see RoadFact::status
    Verifying,       // every file has arrived; the setup program is being checked
    DownloadFailed,  // the download ended without every file: see RoadFact::download
    HandedOff,       // the hand-off ended: see RoadFact::handOff and State()
    Abandoned,       // the road could not go on: see Outcome() (a scanner in use, a stop)
};

struct RoadFact {
    RoadFactKind kind = RoadFactKind::Checked;
    DownloadStatus status;
    DownloadResult download = DownloadResult::Completed;
    HandOffResult handOff = HandOffResult::Launched;
    // An unattended install waited for: how far, and the setup program's own exit code.
    SetupWait setupWait = SetupWait::NotWaited;
    DWORD setupExitCode = 0;
};

class IRoadObserver {
public:
    virtual ~IRoadObserver() = default;
    // Every fact arrives as a task of the driver's queue, one at a time and in the order the road
    // went: never from inside a command, and never while the driver still handles the one before.
    virtual void OnRoadFact(const RoadFact& fact) = 0;
    // A proxy in front of `host` wants credentials: a driver with a user asks, once per run; the
    // answer is kept in memory for this run only. False: nobody to ask, or the user declined.
    virtual bool AskProxyCredentials(const std::wstring& host, std::wstring& user, std::wstring& password) {
        return false;
    }
};

class CUpdateEngine : private IUpdateSink {
public:
    // Facts, and the worker's and the setup check's ends, reach the driver's thread through `tasks`.
    CUpdateEngine(IRoadObserver& observer, std::shared_ptr<CUiTaskQueue> tasks, RoadOptions options = {});
    ~CUpdateEngine() override;
    CUpdateEngine(const CUpdateEngine&) = delete;
    CUpdateEngine& operator=(const CUpdateEngine&) = delete;

    // The server check, on the caller's thread; Checked follows as a task. A driver that must
    // handle the check's end before it goes on (the window, before it shows) runs its queue.
    // False when the road is busy.
    bool Check();
    // Downloads the chosen offered setups (indices into Offer().setups) on the worker, then checks
    // the setup program and hands off. False, with nothing started, when the road cannot start (busy,
    // or no offer) or a chosen setup is not updatable; a scanner in use that the run may not end
    // abandons the road instead (reported).
    bool Start(const std::vector<size_t>& chosen);
    // Stops a running download or setup check at once; its end is not reported. True when one ran.
    bool Stop();

    RoadState State() const { return m_road.State(); }
    RoadOutcome Outcome() const { return m_road.Outcome(); }
    // One answer to "may anything else start now": from a check's or download's start until its end
    // has been handled, and after a launch.
    bool Busy() const { return m_road.Busy(); }
    const RoadOffer& Offer() const { return m_offer; }

private:
    void Report(const DownloadStatus& status) override;
    void DownloadFinished(FinishedDownload download) override;
    void DownloadFailed(DownloadResult result) override;
    // The road's last step, the one place the hand-off runs.
    void HandOff(FinishedDownload download);
    void Abandon(RoadOutcome why);
    // Queues the fact for the driver; TellQueued hands the queued ones over, in order, once.
    void Tell(const RoadFact& fact);
    void TellQueued();

    IRoadObserver& m_observer;
    std::shared_ptr<CUiTaskQueue> m_pTasks;
    RoadOptions m_options;
    RoadMachine m_road;
    RoadOffer m_offer;
    std::vector<size_t> m_chosen;  // the offered setups of the running or last download
    DownloadRequest m_request;     // what the running or last download fetched
    CUpdateCatalogue m_catalogue;
    CUpdateDownload m_download{*this};
    CSetupCheckStep m_setupCheck;
    CDownloadDiagnostics m_log;
    std::unique_ptr<CWinThread> m_pRootsReader;  // read while the first check asks the server
    std::deque<RoadFact> m_facts;                // told, not yet handed to the driver
    bool m_bTelling = false;                     // the driver is handling a fact
    // Tasks of this engine still queued when it goes find it gone.
    std::shared_ptr<const bool> m_pAlive = std::make_shared<const bool>(true);
};
