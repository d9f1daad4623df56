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

// Runs `call` (which owns everything it uses) on a helper thread named `name`; Done puts its result
// in `result`. Otherwise `closeLate` gets the result on the helper whenever the call comes back. A
// bound of 0 (its deadline passed already) makes no call: TimedOut.
template <typename Result, typename Call, typename Close>
BoundedWait RunBounded(const wchar_t* name, uint32_t boundMs, const std::atomic<bool>* stop, Call call, Close closeLate,
                       Result& result) {
    if (boundMs == 0) return BoundedWait::TimedOut;
    struct Shared {
        CBoundedHandOver handOver;
        Result result{};
    };
    auto shared = std::make_shared<Shared>();
    const std::unique_ptr<CWinThread> helper = CWinThread::Begin(
        [shared, call = std::move(call), closeLate = std::move(closeLate)]() mutable {
            Result got = call();
            if (!shared->handOver.Deliver([&] { shared->result = std::move(got); })) closeLate(got);
        },
        name);
    if (!helper) return BoundedWait::NoThread;
    const BoundedWait waited = shared->handOver.Wait(*helper, boundMs, stop);
    if (waited == BoundedWait::Done) result = std::move(shared->result);
    return waited;
}
