// The highest release statement serial this user's program has accepted of each publisher for each
// edition's folder, kept under HKCU\Software\QuorvelDownloader\ReleaseSerials\<publisher>
// (SerialKeyOf), so that an older statement replayed by the line or a stale mirror is refused, and
// a statement of anyone else, at any serial, leaves the maker's count alone.
#pragma once

#include "update/release/logic/SignerPins.h"

#include <cstdint>
#include <string>

// 0 when none has been accepted yet (or the value cannot be read).
uint64_t HighestAcceptedSerial(const CertFingerprint& publisher, const std::wstring& edition);
// Raises the stored serial to `serial`; a lower one leaves it as it is. False when it cannot be kept.
bool RecordAcceptedSerial(const CertFingerprint& publisher, const std::wstring& edition, uint64_t serial);
