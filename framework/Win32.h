// The Windows headers as every Windows-side file of the program includes them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

// Seconds from 1601 (FILETIME's start) to 1970.
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

// A FILETIME (100 ns since 1601, UTC) as seconds since 1970 UTC, and back.
inline int64_t UnixSecondsOf(const FILETIME& time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - kSecondsFrom1601To1970;
}
inline FILETIME FileTimeOfUnixSeconds(int64_t seconds) {
    const uint64_t ticks = static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
