// Fuzzes the record of a kept download as it is read back from disk: the parser must refuse
// anything but its own form, and a record it accepts must say what a fresh record of its fields says.
//
// Input: the record's bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "system/logic/Utf8.h"
#include "update/engine/logic/KeptDownload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<KeptRecord> record = ParseKeptRecord(data, size);
    if (!record) return 0;
    FUZZ_CHECK(size <= kMaxKeptRecordBytes);
    FUZZ_CHECK(record->size >= 0 && record->since >= 0);
    FUZZ_CHECK(record->edition.find('\n') == std::string::npos && record->name.find('\n') == std::string::npos);

    // A record of valid UTF-8 is written back byte for byte from its fields.
    KeptOffer offer;
    offer.edition = Utf8ToWide(record->edition);
    offer.name = Utf8ToWide(record->name);
    offer.size = record->size;
    offer.sha256 = record->sha256;
    const std::string again = FormatKeptRecord(offer, record->since);
    const bool utf8 = WideToUtf8(offer.edition) == record->edition && WideToUtf8(offer.name) == record->name;
    if (utf8) FUZZ_CHECK(again == std::string(reinterpret_cast<const char*>(data), size));

    // The rule never goes on from more bytes than the file holds, nor from bytes of another size.
    const int64_t now = static_cast<int64_t>(record->since);
    FUZZ_CHECK(JudgeKept(record, offer, offer.size + (offer.size < INT64_MAX), now) == KeptVerdict::Discard ||
               offer.size == INT64_MAX);
    if (utf8) FUZZ_CHECK(JudgeKept(record, offer, 0, now) == KeptVerdict::GoOn);
    return 0;
}
