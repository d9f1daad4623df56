// The run's deadline measured from the process's creation.
#include "app/RunDeadline.h"

#include "app/logic/RunPolicy.h"
#include "framework/Win32.h"
#include "update/sources/logic/SourceSession.h"

namespace {
uint64_t TicksOf(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
}  // namespace

uint64_t RunDeadlineTick(uint32_t timeoutMinutes) {
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    ::GetSystemTimeAsFileTime(&now);
    uint64_t sinceStartMs = 0;
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user) &&
        TicksOf(now) > TicksOf(created))
        sinceStartMs = (TicksOf(now) - TicksOf(created)) / 10000;  // 100 ns units
    return DeadlineFromStart(timeoutMinutes, ::GetTickCount64(), sinceStartMs);
}

uint32_t MsUntil(uint64_t deadlineTick) { return WaitWithin(UINT32_MAX, deadlineTick, ::GetTickCount64()); }
