// A script's deadline (/timeout), for the windowless run and the passive window alike.
#pragma once

#include <cstdint>

// The GetTickCount64 tick at which the run's time is up: /timeout counts from the process's start,
// so the server check spends it too.
uint64_t RunDeadlineTick(uint32_t timeoutMinutes);
// Milliseconds left until `deadlineTick` (0 once it has passed).
uint32_t MsUntil(uint64_t deadlineTick);
