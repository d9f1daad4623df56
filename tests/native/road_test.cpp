// The road's state machine: each state's way in and out, what "busy" means (the setup program's
// check and the hand-off included), what each failure leaves usable, outcomes and the exit codes
// deployment tools act on.
#include "update/engine/logic/Road.h"

#include <gtest/gtest.h>

#include <functional>

TEST(Road, WholeRoadAndEveryRefusedStep) {
    RoadMachine road;
    EXPECT_FALSE(road.Busy());
    EXPECT_FALSE(road.BeginDownload());  // nothing offered yet
    EXPECT_FALSE(road.EndCheck(RoadOutcome::Offered));
    ASSERT_TRUE(road.BeginCheck());
    EXPECT_TRUE(road.Busy());
    EXPECT_FALSE(road.BeginCheck());  // one check at a time
    ASSERT_TRUE(road.EndCheck(RoadOutcome::Offered));
    EXPECT_EQ(road.State(), RoadState::Ready);
    EXPECT_FALSE(road.Busy());
    ASSERT_TRUE(road.BeginDownload());
    EXPECT_FALSE(road.BeginCheck());  // Check Server while the worker downloads
    EXPECT_FALSE(road.BeginDownload());
    EXPECT_FALSE(road.EndHandOff(HandOffResult::Launched));
    EXPECT_FALSE(road.BeginHandOff());  // not before every file has arrived
    ASSERT_TRUE(road.EndDownload(DownloadResult::Completed));
    // The worker has ended and the setup program is being checked: still busy, so Enter or a check
    // cannot slip in.
    EXPECT_EQ(road.State(), RoadState::Verifying);
    EXPECT_TRUE(road.Busy());
    EXPECT_FALSE(road.BeginCheck());
    EXPECT_FALSE(road.BeginDownload());
    EXPECT_FALSE(road.EndDownload(DownloadResult::Completed));  // a second end is old news
    ASSERT_TRUE(road.BeginHandOff());
    EXPECT_EQ(road.State(), RoadState::HandingOff);
    EXPECT_TRUE(road.Busy());
    ASSERT_TRUE(road.EndHandOff(HandOffResult::Launched));
    EXPECT_EQ(road.State(), RoadState::Done);
    EXPECT_EQ(road.Outcome(), RoadOutcome::Launched);
    EXPECT_TRUE(road.Busy());  // the launched setup owns the work folder
    EXPECT_FALSE(road.BeginCheck());
    EXPECT_FALSE(road.Abandon(RoadOutcome::Stopped));
}

TEST(Road, FailuresLeaveTheRoadUsableWithTheirOutcome) {
    struct Case {
        const char* what;
        void (*drive)(RoadMachine&);
        RoadOutcome outcome;
        int exitCode;
        bool startsAgain;  // the check's offer stands: Start works again at once
    };
    const Case cases[] = {
        {"server down", [](RoadMachine& r) { r.BeginCheck(), r.EndCheck(RoadOutcome::ServerUnreachable); },
         RoadOutcome::ServerUnreachable, 20, false},
        {"nothing offered", [](RoadMachine& r) { r.BeginCheck(), r.EndCheck(RoadOutcome::NothingOffered); },
         RoadOutcome::NothingOffered, 21, false},
        {"read failed",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload(),
                 r.EndDownload(DownloadResult::ReadFailed);
         },
         RoadOutcome::DownloadFailed, 30, true},
        {"disk full",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload(),
                 r.EndDownload(DownloadResult::DiskFull);
         },
         RoadOutcome::NoRoom, 31, true},
        {"refused",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload();
             r.EndDownload(DownloadResult::Completed), r.BeginHandOff(), r.EndHandOff(HandOffResult::ReleaseRefused);
         },
         RoadOutcome::SetupRefused, 40, true},
        {"did not start",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload();
             r.EndDownload(DownloadResult::Completed), r.BeginHandOff(), r.EndHandOff(HandOffResult::LaunchFailed);
         },
         RoadOutcome::SetupDidNotStart, 41, true},
        {"scanner before the download",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload(),
                 r.Abandon(RoadOutcome::ScannerRunning);
         },
         RoadOutcome::ScannerRunning, 1618, true},
        {"scanner before the launch",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload();
             r.EndDownload(DownloadResult::Completed), r.BeginHandOff(), r.EndHandOff(HandOffResult::ScannerRunning);
         },
         RoadOutcome::ScannerRunning, 1618, true},
        {"stopped",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload(), r.Abandon(RoadOutcome::Stopped);
         },
         RoadOutcome::Stopped, 18, true},
        {"stopped in the setup program's check",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload();
             r.EndDownload(DownloadResult::Completed), r.Abandon(RoadOutcome::Stopped);
         },
         RoadOutcome::Stopped, 18, true},
    };
    for (const Case& c : cases) {
        RoadMachine road;
        c.drive(road);
        EXPECT_EQ(road.State(), RoadState::Failed) << c.what;
        EXPECT_EQ(road.Outcome(), c.outcome) << c.what;
        EXPECT_EQ(ExitCodeOf(road.Outcome()), c.exitCode) << c.what;
        EXPECT_FALSE(road.Busy()) << c.what;
        RoadMachine again = road;
        EXPECT_EQ(again.BeginDownload(), c.startsAgain) << c.what;
        EXPECT_TRUE(road.BeginCheck()) << c.what;      // Check Server works again
        EXPECT_FALSE(road.BeginDownload()) << c.what;  // a new check's offer is awaited
    }
    RoadMachine current;
    current.BeginCheck();
    current.EndCheck(RoadOutcome::AlreadyCurrent);
    EXPECT_EQ(current.State(), RoadState::Done);
    EXPECT_EQ(ExitCodeOf(current.Outcome()), 0);
}

// The codes a script or deployment tool acts on, as the README's table gives them: the installer
// codes keep their Windows meaning (1618 retry later, 1602 cancelled, 1639 bad command line).
TEST(Road, ExitCodesOfTheOutcomesWithoutARoad) {
    const std::pair<RoadOutcome, int> codes[] = {
        {RoadOutcome::Offered, 10},          {RoadOutcome::AnotherRun, 1618}, {RoadOutcome::Cancelled, 1602},
        {RoadOutcome::BadCommandLine, 1639}, {RoadOutcome::TimedOut, 1460},   {RoadOutcome::None, 1},
    };
    for (const auto& [outcome, code] : codes) EXPECT_EQ(ExitCodeOf(outcome), code) << RoadOutcomeName(outcome);
    // A waited-for setup's own code goes on unchanged, whatever it is; one not waited for is 0.
    EXPECT_EQ(ExitCodeOfRun(RoadOutcome::Launched, SetupWait::Ended, 3010), 3010);
    EXPECT_EQ(ExitCodeOfRun(RoadOutcome::Launched, SetupWait::Ended, 1641), 1641);
    EXPECT_EQ(ExitCodeOfRun(RoadOutcome::Launched, SetupWait::Ended, 0xC0000005u), static_cast<int>(0xC0000005u));
    EXPECT_EQ(ExitCodeOfRun(RoadOutcome::Launched, SetupWait::NotWaited, 3010), 0);
    EXPECT_EQ(ExitCodeOfRun(RoadOutcome::Launched, SetupWait::StillRunning, 0), 1460);
    EXPECT_EQ(ExitCodeOfRun(RoadOutcome::SetupRefused, SetupWait::NotWaited, 0), 40);
}

// One row per change to a check that offered a setup: what the run ends as, and its code.
TEST(Road, OutcomeOfTheCheck) {
    const struct {
        const char* what;
        std::function<void(CheckFindings&)> change;
        RoadOutcome outcome;
        int exitCode;
    } rows[] = {
        {"offered", [](CheckFindings&) {}, RoadOutcome::Offered, 10},
        {"current", [](CheckFindings& f) { f.current = true; }, RoadOutcome::AlreadyCurrent, 0},
        {"a later source offered what an earlier withheld", [](CheckFindings& f) { f.releaseWithheld = true; },
         RoadOutcome::Offered, 10},
        {"nothing offered", [](CheckFindings& f) { f.offered = false; }, RoadOutcome::NothingOffered, 21},
        {"no source offered the maker's release", [](CheckFindings& f) { f.offered = false, f.releaseWithheld = true; },
         RoadOutcome::ReleaseNotOffered, 22},
        {"the PC's date is wrong", [](CheckFindings& f) { f.offered = false, f.clockWrong = true; },
         RoadOutcome::ClockWrong, 23},
        {"a wrong date explains a withheld release too",
         [](CheckFindings& f) { f.offered = false, f.clockWrong = true, f.releaseWithheld = true; },
         RoadOutcome::ClockWrong, 23},
        {"no server", [](CheckFindings& f) { f.offered = false, f.reached = false; }, RoadOutcome::ServerUnreachable,
         20},
    };
    for (const auto& row : rows) {
        CheckFindings found;
        found.reached = found.offered = true;
        row.change(found);
        EXPECT_STREQ(RoadOutcomeName(OutcomeOfCheck(found)), RoadOutcomeName(row.outcome)) << row.what;
        EXPECT_EQ(ExitCodeOf(OutcomeOfCheck(found)), row.exitCode) << row.what;
    }
}
