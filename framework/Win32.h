// The Windows headers as every Windows-side file of the program includes them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

// A FILETIME (100 ns since 1601, UTC) as seconds since 1970 UTC.
inline int64_t UnixSecondsOf(const FILETIME& time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}
