// The highest release statement serial this user's program has accepted for each edition's folder,
// kept under HKCU\Software\QuorvelDownloader\ReleaseSerials, so that an older statement replayed by
// the line or a stale mirror is refused.
#pragma once

#include <cstdint>
#include <string>

// 0 when none has been accepted yet (or the value cannot be read).
uint64_t HighestAcceptedSerial(const std::wstring& edition);
// Raises the stored serial to `serial`; a lower one leaves it as it is. False when it cannot be kept.
bool RecordAcceptedSerial(const std::wstring& edition, uint64_t serial);
