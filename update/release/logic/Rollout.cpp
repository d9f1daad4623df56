// The rollout bucket and the rule of who is offered a staged release.
#include "update/release/logic/Rollout.h"

#include <cstdint>

#include "system/logic/Utf8.h"

namespace {
constexpr int kBuckets = 100;

// 64-bit FNV-1a: the same value on every platform for the same bytes.
uint64_t Fnv1a(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ULL;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    }
    return hash;
}
}  // namespace

int RolloutBucket(const std::wstring& machineId, const std::wstring& edition) {
    if (machineId.empty()) return kBuckets - 1;
    // The separator keeps ("ab", "c") and ("a", "bc") apart.
    const uint64_t hash = Fnv1a(WideToUtf8(machineId) + '\n' + WideToUtf8(edition));
    return static_cast<int>(hash % kBuckets);
}

bool RolloutOffers(int percent, int bucket, bool staged) {
    if (percent <= 0) return false;
    return !staged || bucket < percent;
}
