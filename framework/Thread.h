// A worker thread object: started with a function and a parameter, joined with a bounded wait.
#pragma once

#include "framework/Win32.h"

class CWinThread {
public:
    using Entry = UINT (*)(void* param);

    // Starts a thread at normal priority with the default stack; null when it cannot start.
    static CWinThread* Begin(Entry entry, void* param, const wchar_t* name = nullptr);
    ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    HANDLE Handle() const { return m_hThread; }
    DWORD ThreadId() const { return m_nThreadId; }
    // True when the thread has ended within the timeout.
    bool Wait(DWORD timeoutMs) const;

private:
    CWinThread() = default;
    struct StartInfo;
    static unsigned __stdcall Start(void* info);
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadId = 0;
};
