// A download kept across the program's end: the record that binds the bytes on disk to the file the
// maker's statement names, its parser, and the rule that says whether a later run may go on from
// them. Pure: no Win32 types. A record read back from disk is hostile input.
//
//   QuorvelDownloader kept 1
//   edition OEM/KESTRA/Factory/Software
//   name TALVIX_FULL_250101.exe
//   size 12345678
//   sha256 <64 lower-case hex digits>
//   since 1765300000
//
// Exactly these lines in this order, each ending in "\n", nothing before or after.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/engine/logic/DownloadLogic.h"

// Kept bytes this old are removed: long enough for a workshop closed over a long weekend, short
// enough that an abandoned download does not hold disk space for good.
constexpr int64_t kKeptMaxAgeSeconds = 5 * 24 * 60 * 60;
// A record dated later than this ahead of the clock was not written by this PC's clock as it is.
constexpr int64_t kKeptClockSlackSeconds = 60 * 60;
constexpr size_t kMaxKeptRecordBytes = 1024;

// The file a download may keep its bytes for: named by the maker's statement with the listed size.
struct KeptOffer {
    std::wstring edition;    // the statement's edition
    std::wstring name;       // as listed and named by the statement
    std::wstring localName;  // the name of its bytes in the keeping folder
    int64_t size = 0;
    std::array<uint8_t, 32> sha256{};
};

struct KeptRecord {
    std::string edition;  // UTF-8, as written
    std::string name;
    int64_t size = 0;
    std::array<uint8_t, 32> sha256{};
    int64_t since = 0;  // seconds since 1970 UTC when the bytes were first kept
};

enum class KeptVerdict { GoOn, Discard };

// The files of the request whose bytes may be kept: those the request's statement names with the
// listed size. Empty without a statement.
std::vector<KeptOffer> KeptOffersOf(const DownloadRequest& request);

std::string FormatKeptRecord(const KeptOffer& offer, int64_t since);
// The record, or nothing for anything that is not exactly the format above.
std::optional<KeptRecord> ParseKeptRecord(const uint8_t* data, size_t size);

// Whether a run offering `offer` at `now` may go on from `keptBytes` bytes (-1: none on disk)
// under `record` (nothing: missing or unreadable).
KeptVerdict JudgeKept(const std::optional<KeptRecord>& record, const KeptOffer& offer, int64_t keptBytes, int64_t now);
