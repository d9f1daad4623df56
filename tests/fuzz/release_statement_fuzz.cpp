// Fuzzes the release statement's parser with hostile bytes: an accepted statement keeps its
// bounds, its names are usable and unique, its time and versions read back from their own text,
// the rules accept the first file exactly as the statement describes it, a listing of every file it
// names offers its release, and its signing time tells a clock behind it.
//
// Input: the statement's bytes, all of them.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "update/catalogue/logic/Catalogue.h"
#include "update/release/logic/ReleaseRules.h"
#include "update/release/logic/ReleaseStatement.h"

namespace {
// A name the statement accepts shows no control character and fits MAX_PATH in UTF-16 units.
bool IsShowableName(const std::wstring& name) {
    size_t units = 0;
    for (wchar_t c : name) {
        const uint32_t cp = static_cast<uint32_t>(c);
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E)) return false;
        units += cp >= 0x10000 ? 2 : 1;
    }
    return units >= 1 && units <= 259;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReleaseStatement statement;
    std::string why;
    if (!ParseReleaseStatement(data, size, statement, &why)) {
        FUZZ_CHECK(!why.empty());
        FUZZ_CHECK(statement.files.empty());
        return 0;
    }
    FUZZ_CHECK(size <= kMaxStatementBytes);
    FUZZ_CHECK(!statement.files.empty() && statement.files.size() <= kMaxStatementFiles);
    FUZZ_CHECK(IsShowableName(statement.edition));
    FUZZ_CHECK(statement.rolloutPercent >= 0 && statement.rolloutPercent <= 100);

    std::set<std::wstring> names;
    for (const ReleaseFile& file : statement.files) {
        FUZZ_CHECK(IsShowableName(file.name));
        FUZZ_CHECK(file.quietArguments.size() <= 1024);
        for (wchar_t c : file.quietArguments) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
        FUZZ_CHECK(file.size >= 0);
        FUZZ_CHECK(names.insert(file.name).second);
        FUZZ_CHECK(statement.Find(file.name) == &file);
        FourPartVersion back;
        FUZZ_CHECK(ParseFourPartVersion(FormatFourPartVersion(file.version), back) && back == file.version);
    }
    int64_t expires = -1;
    FUZZ_CHECK(ParseStatementTime(FormatStatementTime(statement.expires), expires));
    FUZZ_CHECK(expires == statement.expires);

    if (statement.signedAt) {
        FUZZ_CHECK(*statement.signedAt < statement.expires);
        // Before the maker's own signing time, a signer out of time tells the PC's date wrong.
        const StatementSignatureFacts outOfTime{true, false, false, true};
        const StatementContext before{*statement.signedAt - 1, 0, statement.edition, std::nullopt};
        FUZZ_CHECK(JudgeClock(outOfTime, true, statement, before) == ClockVerdict::Behind);
    }
    // A source that lists every file the statement names, at its size, withholds nothing.
    std::vector<RemoteEntry> listing(statement.files.size());
    for (size_t i = 0; i < listing.size(); ++i) {
        listing[i].name = statement.files[i].name;
        listing[i].size = statement.files[i].size;
    }
    const ReleaseHeld held = JudgeReleaseOffer(listing, statement, std::nullopt).held;
    FUZZ_CHECK(held == ReleaseHeld::Offered || held == ReleaseHeld::NotNeeded);

    const ReleaseFile& first = statement.files.front();
    FUZZ_CHECK(JudgeListedFile(statement, first.name, first.size) == ReleaseListing::Named);
    SetupFacts setup{first.name, first.size, first.sha256, first.version};
    // Installed at the same version, and one newer than the file: going back needs the permission.
    FUZZ_CHECK(JudgeSetupRelease(&statement, setup, first.version, true) == ReleaseCheck::Ready);
    FUZZ_CHECK(InstalledIsCurrent(statement, first.name, first.version));
    FourPartVersion newer = first.version;
    if (newer.parts[0] < 0xFFFF) {
        ++newer.parts[0];
        const ReleaseCheck back = JudgeSetupRelease(&statement, setup, newer, true);
        FUZZ_CHECK(back == (statement.allowDowngrade ? ReleaseCheck::Ready : ReleaseCheck::Downgrade));
    }
    setup.sha256[0] ^= 1;
    FUZZ_CHECK(JudgeSetupRelease(&statement, setup, std::nullopt, true) == ReleaseCheck::DigestDiffers);
    return 0;
}
