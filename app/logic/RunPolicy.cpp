// The drivers' policy over the road.
#include "app/logic/RunPolicy.h"

RoadOptions RoadOptionsFor(const RunCommand& command) {
    RoadOptions options;
    options.localFolder = command.sourceFolder;
    options.mayEndScanner = command.mode == RunMode::Window || command.endScanner;
    options.stopWhenCurrent = command.mode != RunMode::Window;
    options.followRollout = command.mode != RunMode::Window;
    // A script's run installs unattended with the statement's arguments and waits for the setup's
    // end (the driver sets the deadline); a quiet run shows the setup nothing.
    options.unattended = command.mode == RunMode::Passive || command.mode == RunMode::Quiet;
    options.hideSetup = command.mode == RunMode::Quiet;
    return options;
}

bool RunIsOver(RunMode mode, RoadState state) {
    switch (state) {
    case RoadState::Done: return true;
    case RoadState::Failed: return mode != RunMode::Window;
    case RoadState::Ready: return mode == RunMode::Check;
    case RoadState::Idle:
    case RoadState::Checking:
    case RoadState::Downloading:
    case RoadState::Verifying:
    case RoadState::HandingOff: return false;
    }
    return false;
}

uint64_t DeadlineFromStart(uint32_t timeoutMinutes, uint64_t nowTick, uint64_t sinceStartMs) {
    const uint64_t startTick = nowTick > sinceStartMs ? nowTick - sinceStartMs : 0;
    return startTick + static_cast<uint64_t>(timeoutMinutes) * 60000u;
}
