// The run lock's decision: a user's run and another account's squatter look alike to a SYSTEM or
// elevated run, which respects either only for as long as a real run takes.
#include "app/logic/RunLock.h"

#include <gtest/gtest.h>

namespace {
RunLockFacts Trusted(SharedLock shared, LockMaker maker, int64_t otherHoldMinutes = -1,
                     TrustedLock trusted = TrustedLock::Taken) {
    RunLockFacts facts;
    facts.trustedRun = true;
    facts.trusted = trusted;
    facts.shared = shared;
    facts.maker = maker;
    facts.otherHoldMinutes = otherHoldMinutes;
    return facts;
}
}  // namespace

TEST(RunLock, EachCaseOfTheLock) {
    constexpr auto Run = RunLockVerdict::Run, Beside = RunLockVerdict::RunBeside, Busy = RunLockVerdict::Busy;
    constexpr auto Keep = HoldRecord::Keep, Start = HoldRecord::Start, Clear = HoldRecord::Clear;
    RunLockFacts user;  // a standard account's run: the shared lock alone, as always
    RunLockFacts userHeld = user;
    userHeld.shared = SharedLock::Held;
    userHeld.maker = LockMaker::OtherAccount;
    RunLockFacts userRefused = user;
    userRefused.shared = SharedLock::Refused;
    const int64_t bound = kOtherAccountHoldMinutes;
    const struct {
        const char* name;
        RunLockFacts facts;
        RunLockVerdict verdict;
        HoldRecord record;
    } cases[] = {
        {"a user's run takes the free lock", user, Run, Keep},
        {"a user's run meets any holder", userHeld, Busy, Keep},
        {"a user's run meets a name it may not open", userRefused, Busy, Keep},
        {"a trusted run takes the free lock and forgets any hold", Trusted(SharedLock::Taken, LockMaker::ThisAccount),
         Run, Clear},
        {"another trusted run holds the trusted lock",
         Trusted(SharedLock::Taken, LockMaker::ThisAccount, -1, TrustedLock::Held), Busy, Keep},
        {"the same account's run", Trusted(SharedLock::Held, LockMaker::ThisAccount), Busy, Keep},
        {"SYSTEM's run", Trusted(SharedLock::Held, LockMaker::System, bound * 10), Busy, Keep},
        {"an administrator's run", Trusted(SharedLock::Held, LockMaker::Administrators, bound * 10), Busy, Keep},
        {"another account's hold, first seen", Trusted(SharedLock::Held, LockMaker::OtherAccount), Busy, Start},
        {"another account's hold, just short of a run's length",
         Trusted(SharedLock::Held, LockMaker::OtherAccount, bound - 1), Busy, Keep},
        {"another account's hold, longer than a run", Trusted(SharedLock::Held, LockMaker::OtherAccount, bound), Beside,
         Keep},
        {"a hold whose maker cannot be read counts as another account's",
         Trusted(SharedLock::Held, LockMaker::Unreadable), Busy, Start},
        {"a name no run of the program makes", Trusted(SharedLock::Refused, LockMaker::Unreadable), Beside, Keep},
        {"without the trusted lock, a name no run makes still ends the run",
         Trusted(SharedLock::Refused, LockMaker::Unreadable, -1, TrustedLock::Unavailable), Busy, Keep},
        {"without the trusted lock, nor past a long hold",
         Trusted(SharedLock::Held, LockMaker::OtherAccount, bound, TrustedLock::Unavailable), Busy, Keep},
    };
    for (const auto& c : cases) {
        const RunLockDecision decision = DecideRunLock(c.facts);
        EXPECT_EQ(decision.verdict, c.verdict) << c.name;
        EXPECT_EQ(decision.record, c.record) << c.name;
    }
}
