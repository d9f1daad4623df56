// The task queue of a window.
#include "framework/UiTaskQueue.h"

bool CUiTaskQueue::Post(Task task) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_hWnd && !m_nThreadId) return false;
    m_tasks.push_back(std::move(task));
    // One wake-up at a time: the window runs everything queued when it comes.
    if (!m_bWakeUpPending) {
        const bool posted =
            m_hWnd ? ::PostMessageW(m_hWnd, m_nWakeUp, 0, 0) : ::PostThreadMessageW(m_nThreadId, m_nWakeUp, 0, 0);
        if (!posted) {
            m_tasks.pop_back();
            return false;
        }
        m_bWakeUpPending = true;
    }
    return true;
}

void CUiTaskQueue::RunPending() {
    for (;;) {
        Task task;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_tasks.empty()) {
                m_bWakeUpPending = false;
                return;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

void CUiTaskQueue::Close() {
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hWnd = nullptr;
        m_nThreadId = 0;
        dropped.swap(m_tasks);
    }
}
