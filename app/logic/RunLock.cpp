// The run lock's decision.
#include "app/logic/RunLock.h"

namespace {
bool MadeByTrustedAccount(LockMaker maker) {
    return maker == LockMaker::ThisAccount || maker == LockMaker::System || maker == LockMaker::Administrators;
}

// A trusted run past a hold it need not respect goes ahead only under its own lock, which keeps
// the trusted runs one at a time.
RunLockDecision PastTheHold(const RunLockFacts& facts, HoldRecord record) {
    return {facts.trusted == TrustedLock::Taken ? RunLockVerdict::RunBeside : RunLockVerdict::Busy, record};
}
}  // namespace

RunLockDecision DecideRunLock(const RunLockFacts& facts) {
    if (!facts.trustedRun)
        return {facts.shared == SharedLock::Taken ? RunLockVerdict::Run : RunLockVerdict::Busy, HoldRecord::Keep};
    if (facts.trusted == TrustedLock::Held) return {RunLockVerdict::Busy, HoldRecord::Keep};
    switch (facts.shared) {
    case SharedLock::Taken: return {RunLockVerdict::Run, HoldRecord::Clear};
    case SharedLock::Refused: return PastTheHold(facts, HoldRecord::Keep);
    case SharedLock::Held: break;
    }
    if (MadeByTrustedAccount(facts.maker)) return {RunLockVerdict::Busy, HoldRecord::Keep};
    // Another account's hold may be its user's window run: respected for as long as a run takes.
    if (facts.otherHoldMinutes < 0) return {RunLockVerdict::Busy, HoldRecord::Start};
    if (facts.otherHoldMinutes < kOtherAccountHoldMinutes) return {RunLockVerdict::Busy, HoldRecord::Keep};
    return PastTheHold(facts, HoldRecord::Keep);
}

const char* RunLockVerdictName(RunLockVerdict verdict) {
    switch (verdict) {
    case RunLockVerdict::Run: return "run";
    case RunLockVerdict::RunBeside: return "run-beside";
    case RunLockVerdict::Busy: return "busy";
    }
    return "?";
}

const char* LockMakerName(LockMaker maker) {
    switch (maker) {
    case LockMaker::ThisAccount: return "this-account";
    case LockMaker::System: return "system";
    case LockMaker::Administrators: return "administrators";
    case LockMaker::OtherAccount: return "other-account";
    case LockMaker::Unreadable: return "unreadable";
    }
    return "?";
}
