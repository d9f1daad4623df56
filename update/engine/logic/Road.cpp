// The road's states, outcomes and exit codes.
#include "update/engine/logic/Road.h"

const char* RoadStateName(RoadState state) {
    switch (state) {
    case RoadState::Idle: return "idle";
    case RoadState::Checking: return "checking";
    case RoadState::Ready: return "ready";
    case RoadState::Downloading: return "downloading";
    case RoadState::Verifying: return "verifying";
    case RoadState::HandingOff: return "handing-off";
    case RoadState::Done: return "done";
    case RoadState::Failed: return "failed";
    }
    return "unknown";
}

const char* RoadOutcomeName(RoadOutcome outcome) {
    switch (outcome) {
    case RoadOutcome::None: return "none";
    case RoadOutcome::Launched: return "launched";
    case RoadOutcome::AlreadyCurrent: return "already-current";
    case RoadOutcome::Offered: return "offered";
    case RoadOutcome::ServerUnreachable: return "server-unreachable";
    case RoadOutcome::NothingOffered: return "nothing-offered";
    case RoadOutcome::ReleaseNotOffered: return "release-not-offered";
    case RoadOutcome::ClockWrong: return "clock-wrong";
    case RoadOutcome::DownloadFailed: return "download-failed";
    case RoadOutcome::NoRoom: return "no-room";
    case RoadOutcome::SetupRefused: return "setup-refused";
    case RoadOutcome::SetupDidNotStart: return "setup-did-not-start";
    case RoadOutcome::ScannerRunning: return "scanner-running";
    case RoadOutcome::Stopped: return "stopped";
    case RoadOutcome::Cancelled: return "cancelled";
    case RoadOutcome::TimedOut: return "timed-out";
    case RoadOutcome::AnotherRun: return "another-run";
    case RoadOutcome::BadCommandLine: return "bad-command-line";
    }
    return "unknown";
}

int ExitCodeOf(RoadOutcome outcome) {
    switch (outcome) {
    case RoadOutcome::Launched:
    case RoadOutcome::AlreadyCurrent: return 0;
    case RoadOutcome::Offered: return 10;
    case RoadOutcome::ServerUnreachable: return 20;
    case RoadOutcome::NothingOffered: return 21;
    case RoadOutcome::ReleaseNotOffered: return 22;
    case RoadOutcome::ClockWrong: return 23;
    case RoadOutcome::DownloadFailed: return 30;
    case RoadOutcome::NoRoom: return 31;
    case RoadOutcome::SetupRefused: return 40;
    case RoadOutcome::SetupDidNotStart: return 41;
    case RoadOutcome::Stopped: return 18;
    case RoadOutcome::ScannerRunning:
    case RoadOutcome::AnotherRun: return 1618;      // ERROR_INSTALL_ALREADY_RUNNING: try again later
    case RoadOutcome::Cancelled: return 1602;       // ERROR_INSTALL_USEREXIT
    case RoadOutcome::BadCommandLine: return 1639;  // ERROR_INVALID_COMMAND_LINE
    case RoadOutcome::TimedOut: return 1460;        // ERROR_TIMEOUT
    case RoadOutcome::None: break;
    }
    return 1;  // a run that ended without an outcome
}

int ExitCodeOfRun(RoadOutcome outcome, SetupWait wait, uint32_t setupExitCode) {
    if (outcome != RoadOutcome::Launched) return ExitCodeOf(outcome);
    switch (wait) {
    case SetupWait::NotWaited: break;
    case SetupWait::Ended: return static_cast<int>(setupExitCode);
    case SetupWait::StillRunning: return ExitCodeOf(RoadOutcome::TimedOut);
    }
    return ExitCodeOf(outcome);
}

RoadOutcome OutcomeOfCheck(const CheckFindings& found) {
    if (found.offered) return found.current ? RoadOutcome::AlreadyCurrent : RoadOutcome::Offered;
    if (found.clockWrong) return RoadOutcome::ClockWrong;
    if (found.releaseWithheld) return RoadOutcome::ReleaseNotOffered;
    return found.reached ? RoadOutcome::NothingOffered : RoadOutcome::ServerUnreachable;
}

RoadOutcome OutcomeOfDownload(DownloadResult result) {
    switch (result) {
    case DownloadResult::Completed: return RoadOutcome::None;
    case DownloadResult::Stopped: return RoadOutcome::Stopped;
    case DownloadResult::NoInternet:
    case DownloadResult::ConnectFailed: return RoadOutcome::ServerUnreachable;
    case DownloadResult::InvalidFile:
    case DownloadResult::RemoteFileUnopenable:
    case DownloadResult::ReadFailed: return RoadOutcome::DownloadFailed;
    case DownloadResult::LocalFileUnopenable:
    case DownloadResult::WriteFailed:
    case DownloadResult::DiskFull: return RoadOutcome::NoRoom;
    }
    return RoadOutcome::DownloadFailed;
}

RoadOutcome OutcomeOfHandOff(HandOffResult result) {
    switch (result) {
    case HandOffResult::Launched:
    case HandOffResult::NoSetupFile: return RoadOutcome::Launched;
    case HandOffResult::FolderUnusable:
    case HandOffResult::ListNotCreated:
    case HandOffResult::ListNotWritten: return RoadOutcome::NoRoom;
    case HandOffResult::SetupChanged:
    case HandOffResult::SignatureRefused:
    case HandOffResult::ReleaseRefused: return RoadOutcome::SetupRefused;
    case HandOffResult::LaunchFailed:
    case HandOffResult::ElevationDeclined: return RoadOutcome::SetupDidNotStart;
    case HandOffResult::ScannerRunning: return RoadOutcome::ScannerRunning;
    }
    return RoadOutcome::SetupDidNotStart;
}

bool TransferHasBegun(const DownloadStatus& status) {
    return status.state == DownloadState::Completed ||
           (status.state == DownloadState::Transferring && (status.done > 0 || status.total == 0));
}

bool RoadMachine::Busy() const {
    switch (m_state) {
    case RoadState::Checking:
    case RoadState::Downloading:
    case RoadState::Verifying:
    case RoadState::HandingOff: return true;
    // A launched setup owns the work folder: nothing may start again before the window goes.
    case RoadState::Done: return true;
    case RoadState::Idle:
    case RoadState::Ready:
    case RoadState::Failed: return false;
    }
    return true;
}

bool RoadMachine::BeginCheck() {
    if (Busy()) return false;
    m_state = RoadState::Checking;
    m_outcome = RoadOutcome::None;
    m_bOffered = false;
    return true;
}

bool RoadMachine::EndCheck(RoadOutcome result) {
    if (m_state != RoadState::Checking) return false;
    m_outcome = result;
    m_bOffered = result == RoadOutcome::Offered;
    m_state = result == RoadOutcome::Offered          ? RoadState::Ready
              : result == RoadOutcome::AlreadyCurrent ? RoadState::Done
                                                      : RoadState::Failed;
    return true;
}

// A failed download, hand-off or stop leaves the check's offer standing: Start works again at once.
bool RoadMachine::BeginDownload() {
    if (m_state != RoadState::Ready && m_state != RoadState::Failed) return false;
    if (!m_bOffered) return false;
    m_state = RoadState::Downloading;
    m_outcome = RoadOutcome::None;
    return true;
}

bool RoadMachine::EndDownload(DownloadResult result) {
    if (m_state != RoadState::Downloading) return false;
    if (result != DownloadResult::Completed) return Fail(OutcomeOfDownload(result));
    m_state = RoadState::Verifying;
    return true;
}

bool RoadMachine::BeginHandOff() {
    if (m_state != RoadState::Verifying) return false;
    m_state = RoadState::HandingOff;
    return true;
}

bool RoadMachine::EndHandOff(HandOffResult result) {
    if (m_state != RoadState::HandingOff) return false;
    const RoadOutcome outcome = OutcomeOfHandOff(result);
    if (outcome != RoadOutcome::Launched) return Fail(outcome);
    m_state = RoadState::Done;
    m_outcome = outcome;
    return true;
}

bool RoadMachine::Abandon(RoadOutcome why) {
    if (!Busy() || m_state == RoadState::Done) return false;
    return Fail(why);
}

bool RoadMachine::Fail(RoadOutcome why) {
    m_state = RoadState::Failed;
    m_outcome = why;
    return true;
}
