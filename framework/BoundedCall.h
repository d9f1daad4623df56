// A blocking call run on a helper thread and waited for within a bound, or until a stop request.
// Some platform calls ignore their own time limits (a server that never greets, a proxy that never
// answers): the caller stops waiting and the helper is left behind with the call. What the call
// returns after that is handed to a closer on the helper, so nothing it opened is leaked.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "framework/Thread.h"

enum class BoundedWait {
    Done,      // the call came back in time; its result is the caller's
    TimedOut,  // the bound passed first
    Stopped,   // the stop request came first
    NoThread,  // no helper could be started; the call was not made
};

// The hand-over between the helper and the caller: whichever comes second sees what the first did.
class CBoundedHandOver {
public:
    // On the helper: stores the result through `store` unless the caller stopped waiting; false then.
    bool Deliver(const std::function<void()>& store);
    // On the caller: waits for the delivery at most `boundMs`, ending early on `stop`; when it did not
    // come, the helper is told the caller has left. A helper that delivered is let end (briefly).
    BoundedWait Wait(const CWinThread& helper, uint32_t boundMs, const std::atomic<bool>* stop);

private:
    std::mutex m_mutex;
    std::condition_variable m_delivered;
    bool m_bDone = false;
    bool m_bLeft = false;
};

// A bounded call in two halves, so that the caller works while the helper runs: Start runs `call`
// (which owns everything it uses) on a helper thread named `name`; Wait takes its result when it
// comes within the bound. Otherwise `closeLate` gets the result on the helper whenever the call
// comes back.
template <typename Result>
class CBoundedCall {
public:
    // False when no helper could be started: the call was not made.
    template <typename Call, typename Close>
    bool Start(const wchar_t* name, Call call, Close closeLate) {
        m_helper = CWinThread::Begin(
            [shared = m_shared, call = std::move(call), closeLate = std::move(closeLate)]() mutable {
                Result got = call();
                if (!shared->handOver.Deliver([&] { shared->result = std::move(got); })) closeLate(got);
            },
            name);
        return m_helper != nullptr;
    }
    // Done puts the call's result in `result`. Once per started call.
    BoundedWait Wait(uint32_t boundMs, const std::atomic<bool>* stop, Result& result) {
        if (!m_helper) return BoundedWait::NoThread;
        const BoundedWait waited = m_shared->handOver.Wait(*m_helper, boundMs, stop);
        if (waited == BoundedWait::Done) result = std::move(m_shared->result);
        return waited;
    }

private:
    struct Shared {
        CBoundedHandOver handOver;
        Result result{};
    };
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::unique_ptr<CWinThread> m_helper;
};

// Starts `call` and waits for it at once (see CBoundedCall). A bound of 0 (its deadline passed
// already) makes no call: TimedOut.
template <typename Result, typename Call, typename Close>
BoundedWait RunBounded(const wchar_t* name, uint32_t boundMs, const std::atomic<bool>* stop, Call call, Close closeLate,
                       Result& result) {
    if (boundMs == 0) return BoundedWait::TimedOut;
    CBoundedCall<Result> bounded;
    if (!bounded.Start(name, std::move(call), std::move(closeLate))) return BoundedWait::NoThread;
    return bounded.Wait(boundMs, stop, result);
}
