// The road of one installation as a state machine: check, download, verify, hand off, and how it
// ended. The engine (update/engine/UpdateEngine.*) moves it and the window and the command line read it;
// what "busy" means is decided here alone. Pure: no Win32 types.
#pragma once

#include "update/engine/logic/DownloadReport.h"
#include "update/handoff/logic/HandOffLogic.h"

#include <cstdint>
#include <string>

enum class RoadState {
    Idle,         // nothing checked yet, or the last check or download ended; a check may start
    Checking,     // the server check runs
    Ready,        // the check offered a setup program; a download may start
    Downloading,  // the worker fetches the chosen files
    Verifying,    // every file has arrived; the setup program is being checked
    HandingOff,   // the setup program is checked; the hand-off runs
    Done,         // the setup program was launched (or the scanner is already current): the run ends
    Failed,       // the last step failed for `Outcome()`; a check may start again, and a download
                  // too while the last check's offer stands
};
const char* RoadStateName(RoadState state);

// How a run ended, in the terms a fleet's script reads (ExitCodeOf).
enum class RoadOutcome {
    None,               // not ended
    Launched,           // the setup program was started
    AlreadyCurrent,     // the maker's statement says the installed scanner is the offered version
    Offered,            // a check alone found a setup program to offer
    ServerUnreachable,  // no connection, or the login was refused
    NothingOffered,     // the server offers no setup program for this edition
    ReleaseNotOffered,  // the maker's statement names a newer setup that no source offers
    ClockWrong,         // a statement was refused for this PC's date, which it shows to be wrong
    DownloadFailed,     // the line or the remote file failed the download
    NoRoom,             // the work folder or its volume cannot take the file
    SetupRefused,       // signature, publisher, statement or version refused the setup program
    SetupDidNotStart,   // the setup program did not start
    ScannerRunning,     // the scanner program runs and the run may not end it
    Stopped,            // the user stopped the run with Exit
    Cancelled,          // the user closed a passive run's window
    TimedOut,           // a passive or quiet run's deadline passed
    AnotherRun,         // another run of the program is under way on this PC
    BadCommandLine,     // the command line was not understood
};
const char* RoadOutcomeName(RoadOutcome outcome);

// The process's exit code for a script: 0 launched or current, 10 a check found an offer, 20 no
// server, 21 nothing offered, 22 the maker's release offered by no source, 23 the PC's date is
// wrong, 30 download, 31 work folder or disk, 40 refused, 41 did not start,
// 18 stopped by the Exit button; and the Windows installer's codes that deployment tools act on:
// 1618 busy (the scanner in use, another run), 1602 cancelled, 1639 a bad command line, 1460 the
// deadline passed. 1 for a run that ended without an outcome.
int ExitCodeOf(RoadOutcome outcome);
// The exit code of a run that launched its setup program: the setup's own when the run waited for
// its end (0, 3010 and 1641 and its failures, passed on unchanged), 1460 when it was still running
// at the deadline, else ExitCodeOf(outcome).
int ExitCodeOfRun(RoadOutcome outcome, SetupWait wait, uint32_t setupExitCode);

// What the server check found, in the terms of the run: whether a source was reached and one
// offered a setup, whether some source withheld the maker's newer release or showed the PC's date
// wrong, and whether the offered setup is the installed version. A wrong date explains more than a
// withheld release does, and that more than "nothing offered".
struct CheckFindings {
    bool reached = false;
    bool offered = false;
    bool releaseWithheld = false;
    bool clockWrong = false;
    bool current = false;  // counts only for a run that stops when current
};
RoadOutcome OutcomeOfCheck(const CheckFindings& found);

// What a finished download and a hand-off mean for the run.
RoadOutcome OutcomeOfDownload(DownloadResult result);
RoadOutcome OutcomeOfHandOff(HandOffResult result);

// How a driver wants the road run.
struct RoadOptions {
    // Ending a running scanner program: a window run does (the user started the installation); a
    // script's run only with /endscanner, and otherwise stops before the download and the launch.
    bool mayEndScanner = true;
    // A script's run ends as soon as the maker's statement says the installed scanner is current.
    bool stopWhenCurrent = false;
    // A script's run (check, passive, quiet) is offered a release only where the maker's staged
    // rollout takes this PC in; a person in the window gets it unless the maker halted it.
    bool followRollout = false;
    // A folder given with /source (a USB stick, a share), tried before the build's sources.
    std::wstring localFolder;
    // A passive or quiet run starts the setup with the statement's unattended arguments (hidden in
    // a quiet run) and waits for its end until the run's deadline (GetTickCount64; 0: none).
    bool unattended = false;
    bool hideSetup = false;
    uint64_t deadlineTick = 0;
};

// The item's transfer has begun: bytes of it are on disk (or it is empty), so its row shows a
// percentage or "Completed" from here on and it is not offered again until the next check.
bool TransferHasBegun(const DownloadStatus& status);

class RoadMachine {
public:
    RoadState State() const { return m_state; }
    RoadOutcome Outcome() const { return m_outcome; }
    // From the start of a check or download until its end has been handled: no other command runs.
    bool Busy() const;

    // Each step returns false, and changes nothing, when the road is not where the step begins.
    bool BeginCheck();                        // Idle, Ready, Failed -> Checking
    bool EndCheck(RoadOutcome result);        // Checking -> Ready (Offered), Done (AlreadyCurrent), Failed
    bool BeginDownload();                     // Ready, or Failed with the check's offer standing -> Downloading
    bool EndDownload(DownloadResult result);  // Downloading -> Verifying (every file arrived) or Failed
    bool BeginHandOff();                      // Verifying -> HandingOff
    bool EndHandOff(HandOffResult result);    // HandingOff -> Done or Failed
    // Ends a check, download or hand-off that cannot go on: the scanner runs, the user stopped it.
    bool Abandon(RoadOutcome why);

private:
    bool Fail(RoadOutcome why);
    RoadState m_state = RoadState::Idle;
    RoadOutcome m_outcome = RoadOutcome::None;
    bool m_bOffered = false;  // the last check offered a setup program; a failure keeps its offer
};
