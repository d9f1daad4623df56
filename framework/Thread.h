// A worker thread object: started with a function and a parameter, joined with a bounded wait.
#pragma once

#include "framework/Win32.h"

#include <functional>
#include <memory>

class CWinThread {
    // Only Begin makes thread objects.
    struct Key {
        explicit Key() = default;
    };

public:
    using Entry = UINT (*)(void* param);

    // Starts a thread at normal priority with the default stack; null when it cannot start. Every
    // thread of the program is made here and named for debuggers. Letting the object go does not
    // end the thread: a thread left behind ends when its body returns.
    static std::unique_ptr<CWinThread> Begin(Entry entry, void* param, const wchar_t* name = nullptr);
    // The same for a body that owns what it needs; no exception leaves it.
    static std::unique_ptr<CWinThread> Begin(std::function<void()> body, const wchar_t* name);
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
