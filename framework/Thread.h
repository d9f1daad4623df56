// A worker thread object: started with a function and a parameter, joined with a bounded wait.
#pragma once

#include "framework/Win32.h"

#include <memory>

class CWinThread {
    // Only Begin makes thread objects.
    struct Key {
        explicit Key() = default;
    };

public:
    using Entry = UINT (*)(void* param);

    // Starts a thread at normal priority with the default stack; null when it cannot start.
    static std::unique_ptr<CWinThread> Begin(Entry entry, void* param, const wchar_t* name = nullptr);
    explicit CWinThread(Key) {}
    ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    HANDLE Handle() const { return m_hThread; }
    DWORD ThreadId() const { return m_nThreadId; }
    // True when the thread has ended within the timeout.
    bool Wait(DWORD timeoutMs) const;

private:
    struct StartInfo;
    static unsigned __stdcall Start(void* info);
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadId = 0;
};
