// One run of the program at a time on this PC, across users and sessions: a machine-wide named
// mutex held for the run's life. A second run ends at once with "another installation in progress".
#pragma once

#include "framework/Handle.h"

class CSingleRun {
public:
    CSingleRun() = default;
    ~CSingleRun();
    CSingleRun(const CSingleRun&) = delete;
    CSingleRun& operator=(const CSingleRun&) = delete;

    // True when this run is now the only one; false when another run holds the PC (or the name
    // is held by an account that does not let this one in, which counts the same).
    bool Acquire();

private:
    CHandle m_mutex;
    bool m_bOwned = false;
};

// Brings the window of a running window or passive run on this desktop to the front; false when
// there is none here (another session's, or a quiet run).
bool BringRunningWindowToFront();
