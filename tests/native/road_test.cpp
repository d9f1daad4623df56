// The road's state machine and the command line: each state's way in and out, what "busy" means
// (the setup program's check and the hand-off included), what each failure leaves usable, outcomes
// and exit codes.
#include "update/logic/CommandLine.h"
#include "update/logic/Road.h"

#include <gtest/gtest.h>

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
         RoadOutcome::ScannerRunning, 50, true},
        {"scanner before the launch",
         [](RoadMachine& r) {
             r.BeginCheck(), r.EndCheck(RoadOutcome::Offered), r.BeginDownload();
             r.EndDownload(DownloadResult::Completed), r.BeginHandOff(), r.EndHandOff(HandOffResult::ScannerRunning);
         },
         RoadOutcome::ScannerRunning, 50, true},
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
    EXPECT_EQ(ExitCodeOf(RoadOutcome::Offered), 10);
    EXPECT_EQ(ExitCodeOf(RoadOutcome::BadCommandLine), 2);
}

TEST(CommandLine, SwitchesAndTheirCombinations) {
    struct Case {
        std::vector<std::wstring> args;
        bool understood;
        RunMode mode;
        bool endScanner;
        const wchar_t* sourceFolder = L"";
    };
    const Case cases[] = {
        {{}, true, RunMode::Window, false},
        {{L"/check"}, true, RunMode::Check, false},
        {{L"-CHECK"}, true, RunMode::Check, false},
        {{L"/update", L"/passive"}, true, RunMode::Passive, false},
        {{L"/quiet", L"/update", L"/endscanner"}, true, RunMode::Quiet, true},
        {{L"/log"}, true, RunMode::OpenLog, false},
        {{L"/update"}, false, RunMode::Window, false},
        {{L"/update", L"/passive", L"/quiet"}, false, RunMode::Window, false},
        {{L"/passive"}, false, RunMode::Window, false},
        {{L"/endscanner"}, false, RunMode::Window, false},
        {{L"/check", L"/update", L"/quiet"}, false, RunMode::Window, false},
        {{L"/check", L"/endscanner"}, false, RunMode::Window, false},
        {{L"/log", L"/check"}, false, RunMode::Window, false},
        {{L"/silent"}, false, RunMode::Window, false},
        {{L"check"}, false, RunMode::Window, false},
        {{L"/"}, false, RunMode::Window, false},
        {{L"/source", L"E:\\"}, true, RunMode::Window, false, L"E:\\"},
        {{L"/update", L"-SOURCE", L"\\\\pc\\share\\x y", L"/quiet"},
         true,
         RunMode::Quiet,
         false,
         L"\\\\pc\\share\\x y"},
        {{L"/check", L"/source", L"D:\\u"}, true, RunMode::Check, false, L"D:\\u"},
        {{L"/source"}, false, RunMode::Window, false},
        {{L"/source", L"/check"}, false, RunMode::Window, false},
        {{L"/source", L"-x"}, false, RunMode::Window, false},
        {{L"/source", L"a", L"/source", L"b"}, false, RunMode::Window, false},
        {{L"/log", L"/source", L"a"}, false, RunMode::Window, false},
    };
    for (const Case& c : cases) {
        const RunCommand command = ParseCommandLine(c.args);
        std::string what = "(none)";
        for (const std::wstring& arg : c.args) what += " " + std::string(arg.begin(), arg.end());
        EXPECT_EQ(command.understood, c.understood) << what;
        if (!c.understood) continue;
        EXPECT_EQ(command.mode, c.mode) << what;
        EXPECT_EQ(command.endScanner, c.endScanner) << what;
        EXPECT_EQ(command.sourceFolder, c.sourceFolder) << what;
    }
}
