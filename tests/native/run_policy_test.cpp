// The drivers' one policy: the road's options each command line gets, when each kind of run is
// over, and when an item's transfer counts as begun (its row shows it, it is not offered again).
#include "app/logic/RunPolicy.h"

#include <gtest/gtest.h>

TEST(RunPolicy, OptionsFollowTheCommandLine) {
    RunCommand window;
    window.sourceFolder = L"E:\\";
    const RoadOptions user = RoadOptionsFor(window);
    EXPECT_TRUE(user.mayEndScanner);  // the user asked for the installation
    EXPECT_FALSE(user.stopWhenCurrent);
    EXPECT_EQ(user.localFolder, L"E:\\");
    for (RunMode mode : {RunMode::Check, RunMode::Passive, RunMode::Quiet}) {
        RunCommand script;
        script.mode = mode;
        EXPECT_FALSE(RoadOptionsFor(script).mayEndScanner) << RunModeName(mode);
        EXPECT_TRUE(RoadOptionsFor(script).stopWhenCurrent) << RunModeName(mode);
        script.endScanner = true;
        EXPECT_TRUE(RoadOptionsFor(script).mayEndScanner) << RunModeName(mode);
    }
}

TEST(RunPolicy, WhenARunIsOver) {
    struct Case {
        RoadState state;
        bool window, check, script;  // the window; /check; /update /passive and /quiet
    };
    const Case cases[] = {
        {RoadState::Idle, false, false, false},      {RoadState::Checking, false, false, false},
        {RoadState::Ready, false, true, false},      {RoadState::Downloading, false, false, false},
        {RoadState::Verifying, false, false, false}, {RoadState::HandingOff, false, false, false},
        {RoadState::Done, true, true, true},         {RoadState::Failed, false, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunIsOver(RunMode::Window, c.state), c.window) << RoadStateName(c.state);
        EXPECT_EQ(RunIsOver(RunMode::Check, c.state), c.check) << RoadStateName(c.state);
        EXPECT_EQ(RunIsOver(RunMode::Passive, c.state), c.script) << RoadStateName(c.state);
        EXPECT_EQ(RunIsOver(RunMode::Quiet, c.state), c.script) << RoadStateName(c.state);
    }
}

TEST(RunPolicy, ATransferHasBegunOnceBytesAreOnDisk) {
    DownloadStatus status;
    status.total = 100;
    EXPECT_FALSE(TransferHasBegun(status));  // connecting
    status.state = DownloadState::Transferring;
    EXPECT_FALSE(TransferHasBegun(status));  // the file is open, nothing has arrived
    status.done = 1;
    EXPECT_TRUE(TransferHasBegun(status));
    status.done = 0;
    status.total = 0;
    EXPECT_TRUE(TransferHasBegun(status));  // an empty file is all there
    status.state = DownloadState::Reconnecting;
    status.total = 100;
    EXPECT_FALSE(TransferHasBegun(status));
    status.state = DownloadState::Completed;
    EXPECT_TRUE(TransferHasBegun(status));
}

// /timeout counts from the process's start, so whatever ran before (the check) spends it.
TEST(RunPolicy, TheDeadlineCountsFromTheProcessStart) {
    EXPECT_EQ(DeadlineFromStart(1, 100000, 0), 160000u);
    EXPECT_EQ(DeadlineFromStart(1, 100000, 30000), 130000u);
    EXPECT_EQ(DeadlineFromStart(60, 100000, 200000), 3600000u);  // a start before the tick's own: from 0
    EXPECT_EQ(DeadlineFromStart(10080, 0, 0), 604800000u);
}
