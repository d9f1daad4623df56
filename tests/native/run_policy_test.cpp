// The drivers' one policy: the road's options each command line gets, when each kind of run is
// over, and when an item's transfer counts as begun (its row shows it, it is not offered again).
#include "app/logic/RunPolicy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// How the road runs for what a script or a user typed.
TEST(RunPolicy, OptionsFollowTheCommandLine) {
    struct Case {
        std::vector<std::wstring> args;
        bool mayEndScanner, stopWhenCurrent, followRollout, unattended, hideSetup;
    };
    const Case cases[] = {
        // The user in the window agrees to end the scanner by starting the installation.
        {{}, true, false, false, false, false},
        {{L"/check"}, false, true, true, false, false},
        {{L"/update", L"/passive"}, false, true, true, true, false},
        {{L"/update", L"/quiet"}, false, true, true, true, true},
        {{L"/update", L"/quiet", L"/endscanner"}, true, true, true, true, true},
    };
    for (const Case& c : cases) {
        const RunCommand command = ParseCommandLine(c.args);
        ASSERT_TRUE(command.understood) << c.args.size();
        const RoadOptions options = RoadOptionsFor(command);
        SCOPED_TRACE(RunModeName(command.mode));
        EXPECT_EQ(options.mayEndScanner, c.mayEndScanner);
        EXPECT_EQ(options.stopWhenCurrent, c.stopWhenCurrent);
        EXPECT_EQ(options.followRollout, c.followRollout);
        EXPECT_EQ(options.unattended, c.unattended);
        EXPECT_EQ(options.hideSetup, c.hideSetup);
        EXPECT_EQ(options.localFolder, L"");
    }
    EXPECT_EQ(RoadOptionsFor(ParseCommandLine({L"/source", L"E:\\", L"/update", L"/quiet"})).localFolder, L"E:\\");
}

namespace {

// What the road has learnt so far, in order.
enum class Fact { Checking, Offer, Current, NoServer, Downloading, Arrived, BrokenLine, HandingOff, Launched, Refused };

void Learn(RoadMachine& road, Fact fact) {
    bool moved = false;
    switch (fact) {
    case Fact::Checking: moved = road.BeginCheck(); break;
    case Fact::Offer: moved = road.EndCheck(RoadOutcome::Offered); break;
    case Fact::Current: moved = road.EndCheck(RoadOutcome::AlreadyCurrent); break;
    case Fact::NoServer: moved = road.EndCheck(RoadOutcome::ServerUnreachable); break;
    case Fact::Downloading: moved = road.BeginDownload(); break;
    case Fact::Arrived: moved = road.EndDownload(DownloadResult::Completed); break;
    case Fact::BrokenLine: moved = road.EndDownload(DownloadResult::ReadFailed); break;
    case Fact::HandingOff: moved = road.BeginHandOff(); break;
    case Fact::Launched: moved = road.EndHandOff(HandOffResult::Launched); break;
    case Fact::Refused: moved = road.EndHandOff(HandOffResult::SignatureRefused); break;
    }
    ASSERT_TRUE(moved) << RoadStateName(road.State());
}

}  // namespace

// A launch or a current scanner ends every run; a failure ends a script's run but leaves the
// window to its user, who may check again; a check alone ends once it has found an offer.
TEST(RunPolicy, WhenARunIsOver) {
    using F = Fact;
    struct Case {
        std::vector<Fact> history;
        bool window, check, script;  // the window; /check; /update /passive and /quiet
    };
    const Case cases[] = {
        {{}, false, false, false},
        {{F::Checking}, false, false, false},
        {{F::Checking, F::Offer}, false, true, false},
        {{F::Checking, F::Current}, true, true, true},
        {{F::Checking, F::NoServer}, false, true, true},
        {{F::Checking, F::NoServer, F::Checking, F::Offer}, false, true, false},
        {{F::Checking, F::Offer, F::Downloading}, false, false, false},
        {{F::Checking, F::Offer, F::Downloading, F::BrokenLine}, false, true, true},
        {{F::Checking, F::Offer, F::Downloading, F::Arrived}, false, false, false},
        {{F::Checking, F::Offer, F::Downloading, F::Arrived, F::HandingOff}, false, false, false},
        {{F::Checking, F::Offer, F::Downloading, F::Arrived, F::HandingOff, F::Launched}, true, true, true},
        {{F::Checking, F::Offer, F::Downloading, F::Arrived, F::HandingOff, F::Refused}, false, true, true},
    };
    for (const Case& c : cases) {
        RoadMachine road;
        for (Fact fact : c.history) Learn(road, fact);
        SCOPED_TRACE(::testing::Message() << c.history.size() << " facts, " << RoadStateName(road.State()));
        EXPECT_EQ(RunIsOver(RunMode::Window, road.State()), c.window);
        EXPECT_EQ(RunIsOver(RunMode::Check, road.State()), c.check);
        EXPECT_EQ(RunIsOver(RunMode::Passive, road.State()), c.script);
        EXPECT_EQ(RunIsOver(RunMode::Quiet, road.State()), c.script);
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
