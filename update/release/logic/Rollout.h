// The maker's staged rollout: each PC has a bucket from 0 to 99, the same for every run and user of
// that PC, and a release statement's percentage says which buckets a script's run offers the
// release to. Pure: no Win32 types.
#pragma once

#include <string>

// The bucket of a PC for an edition, from the PC's own identifier (the machine GUID): a stable
// hash of both, so that the first PCs of one edition are not always the first of every other. A PC
// without an identifier takes the last bucket: it waits until the release reaches every PC.
int RolloutBucket(const std::wstring& machineId, const std::wstring& edition);

// Whether the release is offered: never at 0 % (the maker halted it), always to a person in the
// window (`staged` false) otherwise, and to a script's run only when the bucket is below the
// percentage.
bool RolloutOffers(int percent, int bucket, bool staged);
