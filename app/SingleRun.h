// One run of the program at a time on this PC, across users and sessions: a machine-wide named
// mutex held for the run's life, and for SYSTEM and elevated runs a second one in a namespace only
// they can make, so another account's hold of the first keeps them off no longer than a run takes
// (app/logic/RunLock.h). A second run ends at once with "another installation in progress".
#pragma once

#include "app/logic/RunLock.h"
#include "framework/Handle.h"

// The mutex in the administrators' private namespace.
class CTrustedRunLock {
public:
    CTrustedRunLock() = default;
    ~CTrustedRunLock();
    CTrustedRunLock(const CTrustedRunLock&) = delete;
    CTrustedRunLock& operator=(const CTrustedRunLock&) = delete;

    TrustedLock Take();
    void Release();

private:
    HANDLE m_boundary = nullptr;
    HANDLE m_namespace = nullptr;
    CHandle m_mutex;
    bool m_bOwned = false;
};

class CSingleRun {
public:
    CSingleRun() = default;
    ~CSingleRun();
    CSingleRun(const CSingleRun&) = delete;
    CSingleRun& operator=(const CSingleRun&) = delete;

    // True when this run may go ahead; false when another run holds the PC (or the name is held by
    // an account that does not let this one in, which counts the same for a standard account's
    // run). A run that may not go ahead holds nothing.
    bool Acquire();

private:
    CHandle m_mutex;
    bool m_bOwned = false;
    CTrustedRunLock m_trusted;
};

// Brings the window of a running window or passive run on this desktop to the front; false when
// there is none here (another session's, or a quiet run).
bool BringRunningWindowToFront();

// Tells the user who started the window, in the program's message box and language, that another
// update is running on this PC; returns once the user has closed it.
void ShowAnotherRunNotice();
