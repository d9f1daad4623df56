// The maker's release statement: its text form, its time and version forms, and the rules that
// judge the statement and a downloaded setup program against it.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "update/catalogue/logic/Catalogue.h"
#include "update/release/logic/ReleaseRules.h"
#include "update/release/logic/ReleaseStatement.h"
#include "update/release/logic/Rollout.h"
#include "update/handoff/logic/SetupVersion.h"

namespace {

const std::string kDigest = "abababababababababababababababababababababababababababababababab";
const std::string kStatement =
    "QuorvelDownloader release 1\n"
    "# written by scripts/publish.py\n"
    "edition OEM/KESTRA/Factory/Software\n"
    "serial 20261208132200\n"
    "expires 2027-03-08T13:22:00Z\n"
    "#signed 2026-12-08T13:22:00Z\n"
    "\n"
    "file 12345678 " +
    kDigest +
    " 7.3.1.0 TALVIX_FULL_250101.exe\n"
    "#quiet-args /S /norestart /D=\"C:\\Program Files\\TALVIX\"\n"
    "file 0 00112233445566778899AABBCCDDEEFF00112233445566778899aabbccddeeff 65535.0.0.1 \xEA\xB0\x80 b.exe\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

bool Parse(const std::string& text, ReleaseStatement& statement, std::string* why = nullptr) {
    return ParseReleaseStatement(reinterpret_cast<const uint8_t*>(text.data()), text.size(), statement, why);
}

FourPartVersion V(uint16_t a, uint16_t b, uint16_t c, uint16_t d) { return FourPartVersion{{a, b, c, d}}; }

CertFingerprint Publisher(uint8_t first) {
    CertFingerprint publisher{};
    publisher[0] = first;
    return publisher;
}
const CertFingerprint kMaker = Publisher(1);

RemoteEntry Listed(const std::wstring& name, int64_t size) {
    RemoteEntry file;
    file.name = name;
    file.size = size;
    return file;
}

TEST(ReleaseStatement, ReadsEveryFieldAndRefusesAnythingElse) {
    ReleaseStatement s;
    ASSERT_TRUE(Parse(kStatement, s));
    EXPECT_EQ(s.edition, L"OEM/KESTRA/Factory/Software");
    EXPECT_EQ(s.serial, 20261208132200u);
    EXPECT_EQ(s.expires, 1804512120);
    EXPECT_EQ(s.signedAt, 1796736120);
    EXPECT_FALSE(s.allowDowngrade);
    EXPECT_EQ(s.rolloutPercent, 100);
    ASSERT_EQ(s.files.size(), 2u);
    EXPECT_EQ(s.files[0].size, 12345678);
    EXPECT_EQ(s.files[0].sha256[31], 0xAB);
    EXPECT_EQ(s.files[0].version, V(7, 3, 1, 0));
    EXPECT_EQ(s.files[1].name, L"\uAC00 b.exe");
    EXPECT_EQ(s.files[1].sha256[10], 0xAA);
    EXPECT_EQ(s.files[1].version, V(65535, 0, 0, 1));
    EXPECT_EQ(s.files[0].quietArguments, L"/S /norestart /D=\"C:\\Program Files\\TALVIX\"");
    EXPECT_EQ(s.files[1].quietArguments, L"");  // none named: launched as without a statement
    EXPECT_EQ(s.Find(L"TALVIX_FULL_250101.exe"), &s.files[0]);
    EXPECT_EQ(s.Find(L"talvix_full_250101.exe"), nullptr);

    // CR LF endings, keys in another order, the permission, a last line without its end, and a
    // name of 259 UTF-16 units.
    std::string crlf =
        "QuorvelDownloader release 1\r\ndowngrade allowed\r\nrollout 0\r\nexpires 2027-03-08T13:22:00Z\r\n#\r\n\r\n"
        "serial 18446744073709551615\r\nedition Software\r\nfile 1 " +
        kDigest + " 0.0.0.0 " + std::string(259, 'n');
    ASSERT_TRUE(Parse(crlf, s));
    EXPECT_TRUE(s.allowDowngrade);
    EXPECT_EQ(s.rolloutPercent, 0);
    EXPECT_EQ(s.serial, UINT64_MAX);
    EXPECT_EQ(s.edition, L"Software");
    EXPECT_EQ(s.files[0].name.size(), 259u);
    EXPECT_FALSE(s.signedAt);  // no "#signed" line: nothing to tell a clock by

    std::string many = kStatement;
    for (int i = 2; i < 256; ++i) many += "file 1 " + kDigest + " 1.0.0.0 f" + std::to_string(i) + "\n";
    EXPECT_TRUE(Parse(many, s));

    const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units
    std::string emojiName;
    for (int i = 0; i < 130; ++i) emojiName += emoji;
    const std::string fileLine = "file 12345678 " + kDigest + " 7.3.1.0 TALVIX_FULL_250101.exe";
    const struct {
        std::string text, reason;
    } bad[] = {
        {Replace(kStatement, "release 1", "release 2"), "header"},
        {"\xEF\xBB\xBF" + kStatement, "header"},
        {"", "empty"},
        {kStatement + "mirror ftp.example\n", "unknown key"},
        {kStatement + "  \n", "unknown key"},
        {kStatement + "serial 20261208132200\n", "repeated serial"},
        {kStatement + "edition Software\n", "repeated edition"},
        {kStatement + "expires 2027-03-08T13:22:00Z\n", "repeated expires"},
        {kStatement + "downgrade allowed\ndowngrade allowed\n", "repeated downgrade"},
        {kStatement + "downgrade\n", "downgrade"},
        {kStatement + "rollout 25\nrollout 25\n", "repeated rollout"},
        {kStatement + "rollout 101\n", "percentage"},
        {kStatement + "rollout 050\n", "percentage"},
        {kStatement + "rollout -1\n", "percentage"},
        {kStatement + "rollout\n", "percentage"},
        {Replace(kStatement, "serial 20261208132200", "serial 18446744073709551616"), "serial"},
        {Replace(kStatement, "serial 20261208132200", "serial +1"), "serial"},
        {Replace(kStatement, "serial 20261208132200\n", ""), "no serial"},
        {Replace(kStatement, "edition OEM/KESTRA/Factory/Software", "edition "), "edition with an empty"},
        {Replace(kStatement, "ababab ", "ababag "), "SHA-256"},
        {Replace(kStatement, "12345678", "+12345678"), "file size"},
        {Replace(kStatement, "12345678", "9223372036854775808"), "file size"},
        {Replace(kStatement, " 7.3.1.0 ", " 7.3.1 "), "version"},
        {Replace(kStatement, " 7.3.1.0 ", " 7.3.1.65536 "), "version"},
        {Replace(kStatement, " 7.3.1.0 ", " 7.03.1.0 "), "version"},
        {Replace(kStatement, "2027-03-08T13:22:00Z", "2027-02-30T00:00:00Z"), "expiry"},
        {Replace(kStatement, "2027-03-08T13:22:00Z", "2027-03-08 13:22:00Z"), "expiry"},
        {Replace(kStatement, "TALVIX_FULL", "TALVIX\x1b_FULL"), "control"},
        {Replace(kStatement, "TALVIX_FULL", "TALVIX\xC2\x85_FULL"), "control"},      // C1
        {Replace(kStatement, "TALVIX_FULL", "TALVIX\xE2\x80\xAE_FULL"), "control"},  // U+202E
        {Replace(kStatement, "TALVIX_FULL", "TALVIX\r_FULL"), "control"},
        {Replace(kStatement, "TALVIX_FULL", "TALVIX\xC0\xAF_FULL"), "UTF-8"},  // overlong '/'
        {Replace(kStatement, "TALVIX_FULL_250101.exe", emojiName), "more than 259"},
        {Replace(kStatement, "#quiet-args /S", "#quiet-args /S\x1b"), "quiet arguments with a control"},
        {Replace(kStatement, "#quiet-args /S /norestart", "#quiet-args " + std::string(1025, 'q')),
         "quiet arguments with more than 1024"},
        {Replace(kStatement, "#quiet-args /S /norestart /D=\"C:\\Program Files\\TALVIX\"", "#quiet-args"),
         "quiet arguments with an empty"},
        {kStatement + "#quiet-args /S\n#quiet-args /T\n", "not right after a file line"},  // twice
        {Replace(kStatement, "expires", "#quiet-args /S\nexpires"), "not right after a file line"},
        {kStatement + "#signed 2026-12-08T13:22:00Z\n", "repeated signing time"},
        {Replace(kStatement, "#signed 2026-12-08T13:22:00Z", "#signed 2026-12-08"), "bad signing time"},
        {Replace(kStatement, "#signed 2026-12-08T13:22:00Z", "#signed"), "bad signing time"},
        {Replace(kStatement, "#signed 2026-12-08", "#signed 2027-03-08"), "signed at or after its expiry"},
        {Replace(kStatement, "TALVIX_FULL_250101.exe", ""), "empty name"},
        {Replace(kStatement, "7.3.1.0 TALVIX_FULL_250101.exe", "7.3.1.0"), "needs a size"},
        {kStatement + fileLine + "\n", "repeated file name"},
        {kStatement.substr(0, kStatement.find("file ")), "no file"},
        {many + "file 1 " + kDigest + " 1.0.0.0 one too many\n", "more than 256 files"},
        {Replace(kStatement, "# written", std::string("#\0written", 9)), "zero byte"},
        {kStatement + "#" + std::string(kMaxStatementBytes, 'x') + "\n", "bytes"},
    };
    for (const auto& row : bad) {
        SCOPED_TRACE("row " + std::to_string(&row - bad));
        std::string why;
        s.files.resize(1);
        EXPECT_FALSE(Parse(row.text, s, &why)) << row.reason;
        EXPECT_NE(why.find(row.reason), std::string::npos) << "expected \"" << row.reason << "\", got: " << why;
        EXPECT_TRUE(s.files.empty()) << row.reason;  // nothing half-parsed is left behind
    }
}

TEST(ReleaseStatement, TimesVersionsAndEditions) {
    const struct {
        const char* text;
        int64_t seconds;
    } times[] = {{"1970-01-01T00:00:00Z", 0},
                 {"2000-02-29T12:00:00Z", 951825600},
                 {"2027-03-08T13:22:00Z", 1804512120},
                 {"9999-12-31T23:59:59Z", 253402300799}};
    for (const auto& t : times) {
        int64_t seconds = -1;
        EXPECT_TRUE(ParseStatementTime(t.text, seconds)) << t.text;
        EXPECT_EQ(seconds, t.seconds) << t.text;
        EXPECT_EQ(FormatStatementTime(t.seconds), t.text);
    }
    int64_t seconds = 0;
    for (const char* wrong : {"1969-12-31T23:59:59Z", "2100-02-29T00:00:00Z", "2027-03-08T24:00:00Z",
                              "2027-03-08T13:22:60Z", "2027-03-08T13:22:00z", "2027-3-08T13:22:00Z"})
        EXPECT_FALSE(ParseStatementTime(wrong, seconds)) << wrong;
    EXPECT_EQ(FormatStatementTime(-1), "1970-01-01T00:00:00Z");
    EXPECT_EQ(FormatStatementTime(INT64_MAX), "9999-12-31T23:59:59Z");

    FourPartVersion v;
    EXPECT_EQ(FourPartVersion::FromFixed(0x00070003, 0x0001FFFF), V(7, 3, 1, 65535));
    EXPECT_EQ(FormatFourPartVersionW(V(7, 3, 1, 0)), L"7.3.1.0");
    EXPECT_LT(V(7, 9, 0, 0), V(7, 10, 0, 0));
    EXPECT_TRUE(ReadVersionText(L"7.3.1.0", v) && v == V(7, 3, 1, 0));
    EXPECT_TRUE(ReadVersionText(L"7, 3, 1, 2", v) && v == V(7, 3, 1, 2));
    EXPECT_TRUE(ReadVersionText(L"7.3", v) && v == V(7, 3, 0, 0));
    EXPECT_TRUE(ReadVersionText(L" 7.3.1.0 beta", v) && v == V(7, 3, 1, 0));
    EXPECT_TRUE(ReadVersionText(L"7.3.1.0.9", v) && v == V(7, 3, 1, 0));
    for (const wchar_t* wrong : {L"-", L"", L"beta 7", L"7.70000"}) EXPECT_FALSE(ReadVersionText(wrong, v)) << wrong;

    EXPECT_EQ(StatementEditionOf(L"\\OEM\\KESTRA\\Factory\\Software"), L"OEM/KESTRA/Factory/Software");
    EXPECT_EQ(StatementEditionOf(L"\\Software"), L"Software");
}

// One row per case: a change to a sound statement, setup and installation, and what follows.
TEST(ReleaseRules, StatementAndSetupTable) {
    struct Case {
        StatementSignatureFacts signature{true, false, true, false};
        bool parsed = true;
        ReleaseStatement statement;
        StatementContext context{1796860800, 0, L"OEM/KESTRA/Factory/Software", std::nullopt};
        // The highest serials accepted, per registry key; the statement is judged by its publisher's.
        std::map<std::wstring, uint64_t> serials{{SerialKeyOf(kMaker), 20261208132200u}};
        SetupFacts setup;
        std::optional<FourPartVersion> installed = V(7, 2, 0, 0);
        bool withStatement = true, publisherNamed = true;
    };
    using SV = StatementVerdict;
    using RC = ReleaseCheck;
    const struct {
        const char* name;
        std::function<void(Case&)> change;
        SV verdict;
        RC check;
    } rows[] = {
        {"valid", [](Case&) {}, SV::Valid, RC::Ready},
        {"changed byte", [](Case& c) { c.signature.intact = false, c.signature.signedAttributes = true; },
         SV::SignatureBroken, RC::Ready},
        {"other signer", [](Case& c) { c.signature.signerAccepted = false; }, SV::SignerRefused, RC::Ready},
        {"signed attributes", [](Case& c) { c.signature.signedAttributes = true; }, SV::SignedAttributes, RC::Ready},
        {"malformed", [](Case& c) { c.parsed = false; }, SV::Malformed, RC::Ready},
        {"expired", [](Case& c) { c.context.now = c.statement.expires, c.serials[SerialKeyOf(kMaker)]++; }, SV::Expired,
         RC::Ready},
        {"replayed serial", [](Case& c) { c.serials[SerialKeyOf(kMaker)]++; }, SV::Replayed, RC::Ready},
        {"another publisher's highest serial", [](Case& c) { c.serials[SerialKeyOf(Publisher(2))] = UINT64_MAX; },
         SV::Valid, RC::Ready},
        {"a new key starts its own count",
         [](Case& c) {
             c.serials[SerialKeyOf(kMaker)] = UINT64_MAX;
             c.statement.publisher = c.setup.publisher.emplace(Publisher(2));
         },
         SV::Valid, RC::Ready},
        {"other edition", [](Case& c) { c.context.edition = L"OEM/KESTRA/Factory/SoftwareTest"; }, SV::OtherEdition,
         RC::Ready},
        {"missing file", [](Case& c) { c.setup.name = L"TALVIX_FULL_250102.exe"; }, SV::Valid, RC::NotInRelease},
        {"wrong size", [](Case& c) { c.setup.size++; }, SV::Valid, RC::SizeDiffers},
        {"digest differs", [](Case& c) { c.setup.sha256[5] ^= 1; }, SV::Valid, RC::DigestDiffers},
        {"version differs", [](Case& c) { c.setup.version = V(7, 3, 1, 1); }, SV::Valid, RC::VersionDiffers},
        {"no version resource", [](Case& c) { c.setup.version.reset(); }, SV::Valid, RC::VersionDiffers},
        {"downgrade", [](Case& c) { c.installed = V(7, 3, 2, 0); }, SV::Valid, RC::Downgrade},
        {"older in the fourth part", [](Case& c) { c.installed = V(7, 3, 1, 1); }, SV::Valid, RC::Downgrade},
        {"setup of another publisher", [](Case& c) { c.setup.publisher = Publisher(2); }, SV::Valid,
         RC::OtherPublisher},
        {"setup's publisher unknown", [](Case& c) { c.setup.publisher.reset(); }, SV::Valid, RC::OtherPublisher},
        {"unsigned setup: the signature rule's",
         [](Case& c) { c.setup.carriesSignature = false, c.setup.publisher.reset(); }, SV::Valid, RC::Ready},
        {"downgrade allowed", [](Case& c) { c.installed = V(7, 3, 2, 0), c.statement.allowDowngrade = true; },
         SV::Valid, RC::Ready},
        {"installed unknown", [](Case& c) { c.installed.reset(); }, SV::Valid, RC::Ready},
        {"without: same", [](Case& c) { c.withStatement = false; }, SV::Valid, RC::Ready},
        {"without: downgrade", [](Case& c) { c.withStatement = false, c.installed = V(8, 0, 0, 0); }, SV::Valid,
         RC::Downgrade},
        {"without: no version, publisher", [](Case& c) { c.withStatement = false, c.setup.version.reset(); }, SV::Valid,
         RC::NoVersion},
        {"without: no version, none named",
         [](Case& c) { c.withStatement = false, c.setup.version.reset(), c.publisherNamed = false; }, SV::Valid,
         RC::Ready},
    };
    for (const auto& row : rows) {
        Case c;
        ASSERT_TRUE(Parse(kStatement, c.statement));
        c.statement.publisher = kMaker;
        const ReleaseFile& file = c.statement.files[0];
        c.setup = SetupFacts{file.name, file.size, file.sha256, file.version, true, kMaker};
        row.change(c);
        c.context.highestSerial = c.serials[SerialKeyOf(c.statement.publisher)];
        EXPECT_STREQ(StatementVerdictName(JudgeStatement(c.signature, c.parsed, c.statement, c.context)),
                     StatementVerdictName(row.verdict))
            << row.name;
        EXPECT_STREQ(ReleaseCheckName(JudgeSetupRelease(c.withStatement ? &c.statement : nullptr, c.setup, c.installed,
                                                        c.publisherNamed)),
                     ReleaseCheckName(row.check))
            << row.name;
    }

    ReleaseStatement s;
    ASSERT_TRUE(Parse(Replace(kStatement, "12345678", "3000000000"), s));
    EXPECT_EQ(JudgeListedFile(s, L"TALVIX_FULL_250101.exe", 3000000000), ReleaseListing::Named);
    EXPECT_EQ(JudgeListedFile(s, L"TALVIX_FULL_250101.exe", INT32_MAX), ReleaseListing::Named);  // capped
    EXPECT_EQ(JudgeListedFile(s, L"TALVIX_FULL_250101.exe", 3000000001), ReleaseListing::SizeDiffers);
    EXPECT_EQ(JudgeListedFile(s, L"\uAC00 b.exe", INT32_MAX), ReleaseListing::SizeDiffers);  // 0 bytes
    EXPECT_EQ(JudgeListedFile(s, L"TALVIX.exe", 0), ReleaseListing::NotNamed);
    EXPECT_TRUE(InstalledIsCurrent(s, L"TALVIX_FULL_250101.exe", V(7, 3, 1, 0)));
    EXPECT_FALSE(InstalledIsCurrent(s, L"TALVIX_FULL_250101.exe", V(7, 3, 1, 1)));
    EXPECT_FALSE(InstalledIsCurrent(s, L"TALVIX_FULL_250101.exe", std::nullopt));
    EXPECT_FALSE(InstalledIsCurrent(s, L"TALVIX.exe", V(7, 3, 1, 0)));

    // Another source may continue a download only of the very same bytes.
    ReleaseStatement other = s;
    other.serial++;
    EXPECT_TRUE(HoldsSameFile(s, other, L"TALVIX_FULL_250101.exe"));
    other.files[0].sha256[31] ^= 1;
    EXPECT_FALSE(HoldsSameFile(s, other, L"TALVIX_FULL_250101.exe"));
    other = s;
    other.files[0].size--;
    EXPECT_FALSE(HoldsSameFile(s, other, L"TALVIX_FULL_250101.exe"));
    other = s;
    other.files[0].name = L"talvix_full_250101.exe";
    EXPECT_FALSE(HoldsSameFile(s, other, L"TALVIX_FULL_250101.exe"));
    EXPECT_FALSE(HoldsSameFile(s, s, L"TALVIX.exe"));
}

// Among the setups a statement names and the source holds, the newest version is offered, whatever
// the order of the listing; without a statement, the first in the server's order.
TEST(ReleaseRules, NewestNamedSetupIsOffered) {
    ReleaseStatement s;
    ASSERT_TRUE(Parse(kStatement + "file 100 " + kDigest + " 7.4.0.0 TALVIX_FULL_260101.exe\n" + "file 100 " + kDigest +
                          " 7.3.1.1 TALVIX_FULL_250102.exe\n",
                      s));
    const RemoteEntry old = Listed(L"TALVIX_FULL_250101.exe", 12345678), newer = Listed(L"TALVIX_FULL_260101.exe", 100),
                      fourth = Listed(L"TALVIX_FULL_250102.exe", 100), unnamed = Listed(L"TALVIX_FULL_990101.exe", 100);
    const struct {
        std::vector<RemoteEntry> files;
        bool withStatement;
        int offered;
        const wchar_t* version;
    } rows[] = {
        {{old, newer}, true, 1, L"7.4.0.0"},
        {{newer, old}, true, 0, L"7.4.0.0"},
        {{old, fourth}, true, 1, L"7.3.1.1"},  // newer only in its fourth part
        {{unnamed, old}, true, 1, L"7.3.1.0"},
        {{old, Listed(L"TALVIX_FULL_260101.exe", 99)}, true, 0, L"7.3.1.0"},  // listed with another size
        {{old, newer}, false, 0, L"250101"},
        {{unnamed, newer}, false, 0, L"990101"},
    };
    for (const auto& row : rows) {
        const OfferedFile offered = FindOfferedFile(row.files, row.withStatement ? &s : nullptr);
        EXPECT_EQ(offered.index, row.offered) << "row " << (&row - rows);
        EXPECT_EQ(offered.serverVersion, row.version) << "row " << (&row - rows);
    }
    // Allowed to go back, the statement still offers the newest file it names.
    s.allowDowngrade = true;
    EXPECT_EQ(FindOfferedFile({newer, old}, &s).index, 0);
}

// The statement names a newer setup than the installed one: a source must offer it, at its size.
TEST(ReleaseRules, MakersReleaseMustBeOffered) {
    ReleaseStatement s;
    ASSERT_TRUE(
        Parse("QuorvelDownloader release 1\nedition Software\nserial 1\nexpires 2027-03-08T13:22:00Z\n"
              "file 100 " +
                  kDigest +
                  " 7.3.1.0 TALVIX_FULL_250101.exe\n"
                  "file 200 " +
                  kDigest +
                  " 7.4.0.0 TALVIX_FULL_260101.exe\n"
                  "file 300 " +
                  kDigest + " 9.0.0.0 notes.txt\n",  // no setup program: never the release
              s));
    const RemoteEntry old = Listed(L"TALVIX_FULL_250101.exe", 100), newest = Listed(L"TALVIX_FULL_260101.exe", 200);
    using RH = ReleaseHeld;
    const struct {
        const char* what;
        std::vector<RemoteEntry> files;
        std::optional<FourPartVersion> installed;
        RH held;
    } rows[] = {
        {"listed with the older", {old, newest}, V(7, 3, 1, 0), RH::Offered},
        {"dropped from the listing", {old}, V(7, 3, 1, 0), RH::NotListed},
        {"listed at another size", {old, Listed(L"TALVIX_FULL_260101.exe", 201)}, V(7, 3, 1, 0), RH::SizeDiffers},
        {"nothing listed", {}, V(7, 3, 1, 0), RH::NotListed},
        {"no scanner installed", {old}, std::nullopt, RH::NotListed},
        {"installed is the release", {old}, V(7, 4, 0, 0), RH::NotNeeded},
        {"installed is newer", {}, V(8, 0, 0, 0), RH::NotNeeded},
    };
    for (const auto& row : rows) {
        const ReleaseOffer offer = JudgeReleaseOffer(row.files, s, row.installed);
        EXPECT_STREQ(ReleaseHeldName(offer.held), ReleaseHeldName(row.held)) << row.what;
        ASSERT_NE(offer.newest, nullptr) << row.what;
        EXPECT_EQ(offer.newest->name, L"TALVIX_FULL_260101.exe") << row.what;
    }
}

// Only a statement refused for time tells the PC's date wrong, and only against the maker's own
// signing time or a server's date; the statement's verdict never changes.
TEST(ReleaseRules, ClockTable) {
    struct Case {
        StatementSignatureFacts signature{true, false, true, false};
        bool parsed = true;
        ReleaseStatement statement;
        StatementContext context{0, 0, L"OEM/KESTRA/Factory/Software", std::nullopt};
    };
    using SV = StatementVerdict;
    using CV = ClockVerdict;
    const int64_t year = 365 * 86400;
    const struct {
        const char* name;
        std::function<void(Case&)> change;
        SV verdict;
        CV clock;
    } rows[] = {
        {"a year ahead, the server's date before the expiry", [](Case&) {}, SV::Expired, CV::Ahead},
        {"no server's date (FTP)", [](Case& c) { c.context.serverDate.reset(); }, SV::Expired, CV::Unknown},
        {"the server's date past the expiry too", [](Case& c) { c.context.serverDate = c.statement.expires; },
         SV::Expired, CV::Unknown},
        {"the PC a minute ahead of the server",
         [](Case& c) { c.context.now = c.statement.expires + 60, c.context.serverDate = c.statement.expires - 1; },
         SV::Expired, CV::Unknown},
        {"not expired", [](Case& c) { c.context.now = c.statement.expires - 1; }, SV::Valid, CV::Unknown},
        {"a year behind: the signer's certificate not yet valid",
         [&](Case& c) {
             c.signature.signerAccepted = false, c.signature.signerOutOfTime = true;
             c.context.now = *c.statement.signedAt - year;
         },
         SV::SignerRefused, CV::Behind},
        {"behind the signing time, yet valid",
         [&](Case& c) { c.context.now = *c.statement.signedAt - 1, c.context.serverDate.reset(); }, SV::Valid,
         CV::Unknown},
        {"signer refused for more than time",
         [&](Case& c) { c.signature.signerAccepted = false, c.context.now = *c.statement.signedAt - year; },
         SV::SignerRefused, CV::Unknown},
        {"out of time, no signing time",
         [&](Case& c) {
             c.signature.signerAccepted = false, c.signature.signerOutOfTime = true, c.statement.signedAt.reset();
             c.context.now = c.statement.expires - year;
         },
         SV::SignerRefused, CV::Unknown},
        {"out of time, malformed",
         [&](Case& c) {
             c.signature.signerAccepted = false, c.signature.signerOutOfTime = true, c.parsed = false;
             c.context.now = *c.statement.signedAt - year;
         },
         SV::SignerRefused, CV::Unknown},
        {"out of time past the expiry, the server's date before it",
         [&](Case& c) { c.signature.signerAccepted = false, c.signature.signerOutOfTime = true; }, SV::SignerRefused,
         CV::Ahead},
        {"signature broken", [](Case& c) { c.signature.intact = false; }, SV::SignatureBroken, CV::Unknown},
    };
    for (const auto& row : rows) {
        Case c;
        ASSERT_TRUE(Parse(kStatement, c.statement));
        c.context.now = c.statement.expires + year;
        c.context.serverDate = c.statement.expires - 86400;
        row.change(c);
        EXPECT_STREQ(StatementVerdictName(JudgeStatement(c.signature, c.parsed, c.statement, c.context)),
                     StatementVerdictName(row.verdict))
            << row.name;
        EXPECT_STREQ(ClockVerdictName(JudgeClock(c.signature, c.parsed, c.statement, c.context)),
                     ClockVerdictName(row.clock))
            << row.name;
    }
}

// Every run and user of a PC finds the same bucket; buckets spread PCs evenly; a script's run is
// offered a staged release below its percentage, a person always, and nobody at 0.
TEST(ReleaseRules, RolloutBucketAndHalt) {
    const std::wstring id = L"6f1c2e1a-7a0b-4c39-9d0e-2b5c3f4a8e11", edition = L"OEM/KESTRA/Factory/Software";
    const int bucket = RolloutBucket(id, edition);
    EXPECT_EQ(RolloutBucket(id, edition), bucket);
    EXPECT_EQ(RolloutBucket(L"", edition), 99);  // no identifier: the last to be offered
    int counts[100] = {};
    for (int pc = 0; pc < 20000; ++pc) {
        const int b = RolloutBucket(L"pc-" + std::to_wstring(pc), edition);
        ASSERT_TRUE(b >= 0 && b < 100) << b;
        ++counts[b];
    }
    for (int count : counts) EXPECT_TRUE(count > 120 && count < 280) << count;
    int differ = 0;  // the first PCs of one edition are not always the first of another
    for (int pc = 0; pc < 100; ++pc)
        differ += RolloutBucket(L"pc-" + std::to_wstring(pc), L"Software") !=
                  RolloutBucket(L"pc-" + std::to_wstring(pc), edition);
    EXPECT_GT(differ, 80);

    const struct {
        int percent, bucket;
        bool staged, offered;
    } rows[] = {
        {100, 99, true, true}, {25, 24, true, true}, {25, 25, true, false}, {1, 0, true, true},
        {0, 0, true, false},   {0, 0, false, false}, {25, 99, false, true}, {100, 99, false, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RolloutOffers(row.percent, row.bucket, row.staged), row.offered) << "row " << (&row - rows);
}

}  // namespace
