// Work handed to a window's thread, or to a thread without windows: any thread queues a task, that
// thread runs it. The wake-up message carries nothing, so a message from another program can at most
// make the window run what its own program queued.
#pragma once

#include "framework/Win32.h"

#include <deque>
#include <functional>
#include <mutex>

class CUiTaskQueue {
public:
    using Task = std::function<void()>;

    // Tasks for `window` are announced with `wakeUpMessage` (wParam and lParam 0).
    CUiTaskQueue(HWND window, UINT wakeUpMessage) : m_hWnd(window), m_nWakeUp(wakeUpMessage) {}
    // Tasks for a thread that has no window (a run without one): announced as a thread message,
    // which that thread's own message loop hands to RunPending.
    CUiTaskQueue(DWORD threadId, UINT wakeUpMessage) : m_nThreadId(threadId), m_nWakeUp(wakeUpMessage) {}
    CUiTaskQueue(const CUiTaskQueue&) = delete;
    CUiTaskQueue& operator=(const CUiTaskQueue&) = delete;

    // Queues the task and wakes the window; false (the task dropped) once the queue is closed or
    // the window is gone.
    bool Post(Task task);
    // Runs every queued task, in order, on the window's thread.
    void RunPending();
    // Refuses further tasks and drops the queued ones; called when the window goes.
    void Close();

private:
    std::mutex m_mutex;
    std::deque<Task> m_tasks;
    HWND m_hWnd = nullptr;
    DWORD m_nThreadId = 0;
    const UINT m_nWakeUp;
    bool m_bWakeUpPending = false;
};
