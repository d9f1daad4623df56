// Diagnostic assertions: a failed check is reported to the debugger and the operation goes on.
#pragma once

#include "framework/Win32.h"

#define QV_WIDEN2(x) L##x
#define QV_WIDEN(x) QV_WIDEN2(x)

#define QV_ASSERT(condition)                                                                                  \
    do {                                                                                                      \
        if (!(condition))                                                                                     \
            ::OutputDebugStringW(L"Assertion failed: " QV_WIDEN(#condition) L" (" QV_WIDEN(__FILE__) L")\n"); \
    } while (0)
