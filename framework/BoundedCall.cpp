#include "framework/BoundedCall.h"

#include <algorithm>
#include <chrono>

namespace {
// How often a wait looks at the stop request.
constexpr std::chrono::milliseconds kStopPoll{50};
// How long a helper that has handed its result over may take to end: only its return is left.
constexpr DWORD kHelperExitWaitMs = 1000;
}  // namespace

bool CBoundedHandOver::Deliver(const std::function<void()>& store) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bLeft) return false;
    store();
    m_bDone = true;
    m_delivered.notify_one();
    return true;
}

BoundedWait CBoundedHandOver::Wait(const CWinThread& helper, uint32_t boundMs, const std::atomic<bool>* stop) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    BoundedWait outcome = BoundedWait::Done;
    while (!m_bDone) {
        const auto now = std::chrono::steady_clock::now();
        if (stop && stop->load()) {
            outcome = BoundedWait::Stopped;
            break;
        }
        if (now >= deadline) {
            outcome = BoundedWait::TimedOut;
            break;
        }
        m_delivered.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now, kStopPoll));
    }
    if (!m_bDone) {
        m_bLeft = true;
        return outcome;
    }
    lock.unlock();
    helper.Wait(kHelperExitWaitMs);
    return BoundedWait::Done;
}
