// A download kept across the program's end: its record read back, and whether a later run may go
// on from its bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "update/engine/logic/KeptDownload.h"

namespace {

const int64_t kNow = 1765300000;

KeptOffer Offer() {
    KeptOffer offer;
    offer.edition = L"OEM/KESTRA/Factory/Software";
    offer.name = L"\uAC00 TALVIX_FULL_250101.exe";
    offer.localName = LocalNameOf(offer.name);
    offer.size = 12345678;
    offer.sha256.fill(0xAB);
    return offer;
}

std::optional<KeptRecord> Parse(const std::string& text) {
    return ParseKeptRecord(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(KeptDownload, RecordReadsBackWhatWasWrittenAndNothingElse) {
    const std::string sound = FormatKeptRecord(Offer(), kNow);
    const std::optional<KeptRecord> record = Parse(sound);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->size, 12345678);
    EXPECT_EQ(record->since, kNow);
    EXPECT_EQ(JudgeKept(record, Offer(), 1000, kNow), KeptVerdict::GoOn);

    for (const std::string& bad : {
             std::string(),
             sound.substr(0, sound.size() - 1),  // the last line without its end
             sound + "\n",                       // anything after
             Replace(sound, "kept 1", "kept 2"),
             Replace(sound, "\n", "\r\n"),
             Replace(sound, "size 12345678", "size -12345678"),
             Replace(sound, "size 12345678", "size 012345678"),
             Replace(sound, "size 12345678", "size 9223372036854775808"),
             Replace(sound, "since ", "since  "),
             Replace(sound, "abab", "ABAB"),
             Replace(sound, "abab", "abax"),
             Replace(sound, "sha256 ab", "sha256 "),
             Replace(sound, "name \xEA\xB0\x80", "name \x1B"),
             Replace(sound, "edition OEM", "edition\tOEM"),
             Replace(sound, "edition", "name"),  // a repeated key, another missing
             sound + std::string(kMaxKeptRecordBytes, '#'),
         })
        EXPECT_FALSE(Parse(bad)) << bad;
}

TEST(KeptDownload, GoesOnOnlyFromBytesOfTheOfferedFileThatAreFreshAndFit) {
    const std::optional<KeptRecord> sound = Parse(FormatKeptRecord(Offer(), kNow));
    ASSERT_TRUE(sound);
    struct Row {
        const char* what;
        std::function<void(std::optional<KeptRecord>&, KeptOffer&, int64_t& kept, int64_t& now)> change;
        KeptVerdict verdict;
    };
    const Row rows[] = {
        {"as written", [](auto&, auto&, auto&, auto&) {}, KeptVerdict::GoOn},
        {"no byte yet", [](auto&, auto&, auto& kept, auto&) { kept = 0; }, KeptVerdict::GoOn},
        {"every byte", [](auto&, auto& o, auto& kept, auto&) { kept = o.size; }, KeptVerdict::GoOn},
        {"no bytes file", [](auto&, auto&, auto& kept, auto&) { kept = -1; }, KeptVerdict::Discard},
        {"more bytes than the file", [](auto&, auto& o, auto& kept, auto&) { kept = o.size + 1; },
         KeptVerdict::Discard},
        {"no record", [](auto& r, auto&, auto&, auto&) { r.reset(); }, KeptVerdict::Discard},
        {"another edition", [](auto&, auto& o, auto&, auto&) { o.edition = L"Software"; }, KeptVerdict::Discard},
        {"another name", [](auto&, auto& o, auto&, auto&) { o.name = L"TALVIX_FULL_250102.exe"; },
         KeptVerdict::Discard},
        {"another size", [](auto&, auto& o, auto&, auto&) { o.size += 1; }, KeptVerdict::Discard},
        {"another digest", [](auto&, auto& o, auto&, auto&) { o.sha256[31] = 0; }, KeptVerdict::Discard},
        {"just young enough", [](auto&, auto&, auto&, auto& now) { now += kKeptMaxAgeSeconds; }, KeptVerdict::GoOn},
        {"too old", [](auto&, auto&, auto&, auto& now) { now += kKeptMaxAgeSeconds + 1; }, KeptVerdict::Discard},
        {"dated ahead of the clock", [](auto&, auto&, auto&, auto& now) { now -= kKeptClockSlackSeconds + 1; },
         KeptVerdict::Discard},
    };
    for (const Row& row : rows) {
        std::optional<KeptRecord> record = sound;
        KeptOffer offer = Offer();
        int64_t kept = 1000, now = kNow;
        row.change(record, offer, kept, now);
        EXPECT_EQ(JudgeKept(record, offer, kept, now), row.verdict) << row.what;
    }
}

TEST(KeptDownload, OnlyFilesTheStatementNamesWithTheListedSizeAreKept) {
    DownloadRequest request;
    request.items.resize(3);
    request.items[0].name = L"TALVIX_FULL_250101.exe";
    request.items[0].size = 100;
    request.items[1].name = L"other.exe";
    request.items[1].size = 5;
    request.items[2].name = L"TALVIX_FULL_250102.exe";
    request.items[2].size = 7;                   // the statement says 8
    EXPECT_TRUE(KeptOffersOf(request).empty());  // no statement

    auto statement = std::make_shared<ReleaseStatement>();
    statement->edition = L"Software";
    statement->files.push_back(ReleaseFile{L"TALVIX_FULL_250101.exe", 100, {}, {}, {}});
    statement->files.push_back(ReleaseFile{L"TALVIX_FULL_250102.exe", 8, {}, {}, {}});
    request.release.statement = statement;
    const std::vector<KeptOffer> offers = KeptOffersOf(request);
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(offers[0].localName, L"TALVIX_FULL_250101.EXE");
    EXPECT_EQ(offers[0].edition, L"Software");
}

}  // namespace
