// The road of one installation as one engine: the server check, the download, the setup program's
// check and the hand-off. It reports facts, in order, on its driver's thread; the window and the
// command line drive it and turn the facts into what they show. Nothing here knows a window, a list
// row, the text table or the user-interface language.
#pragma once

#include "framework/UiTaskQueue.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateDiagnostics.h"
#include "update/UpdateDownload.h"
#include "update/UpdateSink.h"
#include "update/logic/Road.h"

#include <memory>
#include <string>
#include <vector>

// What the last server check found.
struct RoadOffer {
    bool reached = false;              // the server answered and the folder was read
    std::wstring title;                // "KESTRA-Factory", or "Talvix-Main" for an unknown edition
    std::wstring installedVersion;     // the installed scanner's version text, "-" when none
    std::vector<OfferedSetup> setups;  // in the server's order
};

enum class RoadFactKind {
    Checked,         // the server check ended: see Offer()
    Progress,        // an item's download state: see RoadFact::status
    Verifying,       // every file has arrived; the setup program is being checked
    HandOffDue,      // the setup program is checked and held: the driver calls HandOff() when ready
    DownloadFailed,  // the download ended without every file: see RoadFact::download
    HandedOff,       // the hand-off ended: see RoadFact::handOff
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
    // Every fact arrives on the driver's thread, in the order the road went.
    virtual void OnRoadFact(const RoadFact& fact) = 0;
    // A proxy in front of `host` wants credentials: a driver with a user asks, once per run; the
    // answer is kept in memory for this run only. False: nobody to ask, or the user declined.
    virtual bool AskProxyCredentials(const std::wstring& host, std::wstring& user, std::wstring& password) {
        return false;
    }
};

// How a driver wants the road run.
struct RoadOptions {
    // Ending a running scanner program: a window run does (the user started the installation); a
    // script's run only with /endscanner, and otherwise stops before the download and the launch.
    bool mayEndScanner = true;
    // A script's run ends as soon as the maker's statement says the installed scanner is current.
    bool stopWhenCurrent = false;
    // A folder given with /source (a USB stick, a share), tried before the build's sources.
    std::wstring localFolder;
    // A passive or quiet run starts the setup with the statement's unattended arguments (hidden in
    // a quiet run) and waits for its end until the run's deadline (GetTickCount64; 0: none).
    bool unattended = false;
    bool hideSetup = false;
    uint64_t deadlineTick = 0;
};

class CUpdateEngine : private IUpdateSink {
public:
    // The worker's facts reach the driver's thread through `tasks`.
    CUpdateEngine(IRoadObserver& observer, std::shared_ptr<CUiTaskQueue> tasks, RoadOptions options = {});
    ~CUpdateEngine() override;
    CUpdateEngine(const CUpdateEngine&) = delete;
    CUpdateEngine& operator=(const CUpdateEngine&) = delete;

    // The server check, on the caller's thread; reports Checked. False when the road is busy.
    bool Check();
    // Downloads the chosen offered setups (indices into Offer().setups) on the worker. False, with
    // nothing started, when the road is not Ready or nothing is chosen; a scanner in use that the
    // run may not end abandons the road instead (reported).
    bool Start(const std::vector<size_t>& chosen);
    // Runs the hand-off once it is due; reports HandedOff. False when none is due.
    bool HandOff();
    // Stops a running download at once; its end is not reported. True when one ran.
    bool Stop();

    RoadState State() const { return m_road.State(); }
    RoadOutcome Outcome() const { return m_road.Outcome(); }
    // One answer to "may anything else start now": from a check's or download's start until its end
    // has been handled, and after a launch.
    bool Busy() const { return m_road.Busy(); }
    const RoadOffer& Offer() const { return m_offer; }
    // The files of the running or last download, in the order of RoadFact::status.item.
    const std::vector<FTP_FILE_INFO>& Chosen() const { return m_chosen; }

private:
    void Report(const DownloadStatus& status) override;
    void DownloadFinished(FinishedDownload download) override;
    void DownloadFailed(DownloadResult result) override;
    void Tell(const RoadFact& fact);
    void Abandon(RoadOutcome why);

    IRoadObserver& m_observer;
    std::shared_ptr<CUiTaskQueue> m_pTasks;
    RoadOptions m_options;
    RoadMachine m_road;
    RoadOffer m_offer;
    std::vector<FTP_FILE_INFO> m_chosen;
    CUpdateCatalogue m_catalogue;
    CUpdateDownload m_download{*this};
    CDownloadDiagnostics m_log;
    FinishedDownload m_finished;  // the checked and held setup, until the hand-off takes it
};
