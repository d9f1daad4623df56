// The drivers' one policy over the road: how a command line wants the road run, and when its run
// is over. The window and the windowless run both ask here. Pure: no Win32 types.
#pragma once

#include "app/logic/CommandLine.h"
#include "update/engine/logic/Road.h"

#include <cstdint>

// The road's options for a run: a user in the window agrees to end the scanner by starting the
// installation, a script only with /endscanner; a script's run ends when the installed scanner is
// current; /source's folder comes first.
RoadOptions RoadOptionsFor(const RunCommand& command);

// The run has nothing more to do: a launch (or a current scanner) ends every run; a failure ends a
// script's run but leaves the window to its user; a check alone ends once it has found an offer.
bool RunIsOver(RunMode mode, RoadState state);

// The tick at which a script's time is up: `timeoutMinutes` from the process's start, `sinceStartMs`
// before `nowTick` (a start that seems to lie before the tick's own start counts from there).
uint64_t DeadlineFromStart(uint32_t timeoutMinutes, uint64_t nowTick, uint64_t sinceStartMs);
