// Whether this run may go ahead while another holds the machine's run lock. Any account can make or
// hold an object of the lock's name, so a SYSTEM or elevated run counts another account's hold only
// as long as a real run takes, and keeps to its own lock that only SYSTEM and administrators can
// make. Pure: no Win32 types.
#pragma once

#include <cstdint>

// Who made the object that carries the shared lock's name, as its owner says.
enum class LockMaker { ThisAccount, System, Administrators, OtherAccount, Unreadable };

// The lock every run of every account meets: this run took it, another holds it, or the name is an
// object this run may not open (another account made it so: no run of this program does).
enum class SharedLock { Taken, Held, Refused };

// The lock only SYSTEM and administrators can make: taken, held by another of their runs, or not to
// be had here (this run is not one of theirs, or the platform cannot make it).
enum class TrustedLock { Taken, Held, Unavailable };

// How long a SYSTEM or elevated run respects another account's hold: a real run's default deadline.
constexpr int64_t kOtherAccountHoldMinutes = 60;

struct RunLockFacts {
    bool trustedRun = false;  // SYSTEM, or an administrator's elevated run
    TrustedLock trusted = TrustedLock::Unavailable;
    SharedLock shared = SharedLock::Taken;
    LockMaker maker = LockMaker::ThisAccount;
    // Minutes since a trusted run first found the shared lock held by another account, with no
    // trusted run finding it free since; negative when none has.
    int64_t otherHoldMinutes = -1;
};

// Run: this run holds the shared lock. RunBeside: it holds only the trusted one, past a hold that
// is not a run of this program's trusted accounts. Busy: it ends with "another run" (1618).
enum class RunLockVerdict { Run, RunBeside, Busy };
// What the trusted runs' record of another account's hold becomes.
enum class HoldRecord { Keep, Start, Clear };

struct RunLockDecision {
    RunLockVerdict verdict;
    HoldRecord record;
};

RunLockDecision DecideRunLock(const RunLockFacts& facts);

const char* RunLockVerdictName(RunLockVerdict verdict);
const char* LockMakerName(LockMaker maker);
