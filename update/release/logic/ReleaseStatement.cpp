// The release statement's parser and its time form.
#include "update/release/logic/ReleaseStatement.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "system/logic/Utf8.h"

namespace {
const char kHeader[] = "QuorvelDownloader release 1";
const char kQuietArguments[] = "#quiet-args";
const char kSigned[] = "#signed";
// MAX_PATH less its terminating zero.
constexpr size_t kMaxNameUnits = 259;
constexpr size_t kMaxQuietArgumentUnits = 1024;
constexpr int64_t kSecondsPerDay = 86400;

bool Fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return false;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (Howard Hinnant's algorithm).
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned DaysInMonth(int64_t y, unsigned m) {
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

constexpr int64_t kLastStatementSecond = DaysFromCivil(9999, 12, 31) * kSecondsPerDay + kSecondsPerDay - 1;

// Decimal digits only, at most maxDigits of them, not above maxValue.
bool ParseDecimal(const std::string& text, size_t maxDigits, uint64_t maxValue, uint64_t& value) {
    if (text.empty() || text.size() > maxDigits) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (v > (maxValue - digit) / 10) return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseSha256(const std::string& text, std::array<uint8_t, 32>& digest) {
    if (text.size() != 64) return false;
    for (size_t i = 0; i < 32; ++i) {
        const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

// Characters that would let a name pass for something else on a line or on screen: C0, DEL, C1,
// the line and paragraph separators and the bidirectional controls.
bool IsRefusedInName(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// Strict UTF-8 (no overlong forms, surrogates or code points above U+10FFFF) to a name; false
// with a reason for anything else, a refused character, an empty or an overlong name.
bool DecodeName(const std::string& bytes, std::wstring& name, std::string& reason, size_t maxUnits = kMaxNameUnits) {
    size_t units = 0;
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        size_t length = 1;
        char32_t c = lead;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0x80) {
            if (lead >= 0xC2 && lead <= 0xDF) {
                length = 2, c = lead & 0x1F;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                length = 3, c = lead & 0x0F;
                if (lead == 0xE0) low = 0xA0;
                if (lead == 0xED) high = 0x9F;
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                length = 4, c = lead & 0x07;
                if (lead == 0xF0) low = 0x90;
                if (lead == 0xF4) high = 0x8F;
            } else {
                reason = "invalid UTF-8";
                return false;
            }
            if (bytes.size() - i < length) {
                reason = "invalid UTF-8";
                return false;
            }
            for (size_t k = 1; k < length; ++k) {
                const unsigned char b = static_cast<unsigned char>(bytes[i + k]);
                if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) {
                    reason = "invalid UTF-8";
                    return false;
                }
                c = c << 6 | (b & 0x3F);
            }
        }
        if (IsRefusedInName(c)) {
            reason = "a control character";
            return false;
        }
        units += c >= 0x10000 ? 2 : 1;
        i += length;
    }
    if (units == 0) {
        reason = "an empty name";
        return false;
    }
    if (units > maxUnits) {
        reason = "more than " + std::to_string(maxUnits) + " characters";
        return false;
    }
    name = Utf8ToWide(bytes);
    return true;
}

// "SIZE SHA256 VERSION NAME", the name being the rest of the line.
bool ParseFileLine(const std::string& value, ReleaseFile& file, std::string& reason) {
    const size_t sizeEnd = value.find(' ');
    const size_t digestEnd = sizeEnd == std::string::npos ? sizeEnd : value.find(' ', sizeEnd + 1);
    const size_t versionEnd = digestEnd == std::string::npos ? digestEnd : value.find(' ', digestEnd + 1);
    if (versionEnd == std::string::npos) {
        reason = "a file line needs a size, a digest, a version and a name";
        return false;
    }
    uint64_t size = 0;
    if (!ParseDecimal(value.substr(0, sizeEnd), 19, INT64_MAX, size)) {
        reason = "a bad file size";
        return false;
    }
    file.size = static_cast<int64_t>(size);
    if (!ParseSha256(value.substr(sizeEnd + 1, digestEnd - sizeEnd - 1), file.sha256)) {
        reason = "a bad SHA-256";
        return false;
    }
    if (!ParseFourPartVersion(value.substr(digestEnd + 1, versionEnd - digestEnd - 1), file.version)) {
        reason = "a bad version";
        return false;
    }
    return DecodeName(value.substr(versionEnd + 1), file.name, reason);
}

// "rollout PERCENT": 0 to 100 in plain decimal, at most once.
bool ParseRolloutLine(const std::string& value, ReleaseStatement& statement, std::set<std::string>& seen,
                      std::string& reason) {
    uint64_t percent = 0;
    if (!seen.insert("rollout").second) {
        reason = "a repeated rollout";
        return false;
    }
    const bool padded = value.size() > 1 && value[0] == '0';  // one spelling per number
    if (padded || !ParseDecimal(value, 3, 100, percent)) {
        reason = "a rollout other than a percentage from 0 to 100";
        return false;
    }
    statement.rolloutPercent = static_cast<int>(percent);
    return true;
}

// The arguments of an unattended install for the file of the line before; a comment to a program
// that does not know them, so older copies still take the statement.
bool ParseQuietArguments(const std::string& value, ReleaseFile* file, std::string& reason) {
    if (!file) {
        reason = "quiet arguments not right after a file line";
        return false;
    }
    if (DecodeName(value, file->quietArguments, reason, kMaxQuietArgumentUnits)) return true;
    reason = "quiet arguments with " + reason;
    return false;
}

// "#signed TIME": when the maker signed it, at most once; a comment to copies that predate it.
bool ParseSignedLine(const std::string& line, ReleaseStatement& statement, std::string& reason) {
    int64_t seconds = 0;
    if (statement.signedAt) {
        reason = "a repeated signing time";
        return false;
    }
    if (line.size() <= sizeof kSigned || !ParseStatementTime(line.substr(sizeof kSigned), seconds)) {
        reason = "a bad signing time";
        return false;
    }
    statement.signedAt = seconds;
    return true;
}

// Reads one "key value" line into the statement; `seen` holds the keys that may appear only once.
bool ParseLine(const std::string& line, ReleaseStatement& statement, std::set<std::string>& seen,
               std::set<std::wstring>& names, std::string& reason) {
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (key == "rollout") return ParseRolloutLine(value, statement, seen, reason);
    if (key != "edition" && key != "serial" && key != "expires" && key != "downgrade" && key != "file") {
        reason = "an unknown key";
        return false;
    }
    if (key != "file" && !seen.insert(key).second) {
        reason = "a repeated " + key;
        return false;
    }
    if (key == "edition") {
        if (DecodeName(value, statement.edition, reason)) return true;
        reason = "an edition with " + reason;
        return false;
    }
    if (key == "serial") {
        if (ParseDecimal(value, 20, UINT64_MAX, statement.serial)) return true;
        reason = "a bad serial";
        return false;
    }
    if (key == "expires") {
        if (ParseStatementTime(value, statement.expires)) return true;
        reason = "a bad expiry time";
        return false;
    }
    if (key == "downgrade") {
        statement.allowDowngrade = value == "allowed";
        if (statement.allowDowngrade) return true;
        reason = "a downgrade line other than \"downgrade allowed\"";
        return false;
    }
    if (statement.files.size() == kMaxStatementFiles) {
        reason = "more than " + std::to_string(kMaxStatementFiles) + " files";
        return false;
    }
    ReleaseFile file;
    if (!ParseFileLine(value, file, reason)) return false;
    if (!names.insert(file.name).second) {
        reason = "a repeated file name";
        return false;
    }
    statement.files.push_back(std::move(file));
    return true;
}
}  // namespace

const ReleaseFile* ReleaseStatement::Find(const std::wstring& name) const {
    for (const ReleaseFile& file : files)
        if (file.name == name) return &file;
    return nullptr;
}

bool ParseReleaseStatement(const uint8_t* data, size_t size, ReleaseStatement& statement, std::string* why) {
    statement = ReleaseStatement();
    if (size > kMaxStatementBytes) return Fail(why, "more than " + std::to_string(kMaxStatementBytes) + " bytes");
    if (size == 0) return Fail(why, "empty");
    if (std::memchr(data, 0, size)) return Fail(why, "a zero byte");
    const std::string text(reinterpret_cast<const char*>(data), size);

    ReleaseStatement parsed;
    std::set<std::string> seen;
    std::set<std::wstring> names;
    size_t lineNumber = 0;
    bool previousWasFile = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos)
            end = text.size();
        else if (end > start && text[end - 1] == '\r')
            --end;
        const std::string line = text.substr(start, end - start);
        start = next;
        ++lineNumber;
        if (lineNumber == 1) {
            if (line != kHeader) return Fail(why, "line 1: not the statement's header");
            continue;
        }
        const bool afterFile = previousWasFile;
        previousWasFile = false;
        std::string reason;
        if (line.substr(0, line.find(' ')) == kQuietArguments) {
            const std::string value = line.size() > sizeof kQuietArguments ? line.substr(sizeof kQuietArguments) : "";
            if (!ParseQuietArguments(value, afterFile ? &parsed.files.back() : nullptr, reason))
                return Fail(why, "line " + std::to_string(lineNumber) + ": " + reason);
            continue;
        }
        if (line.substr(0, line.find(' ')) == kSigned) {
            if (!ParseSignedLine(line, parsed, reason))
                return Fail(why, "line " + std::to_string(lineNumber) + ": " + reason);
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        if (!ParseLine(line, parsed, seen, names, reason))
            return Fail(why, "line " + std::to_string(lineNumber) + ": " + reason);
        previousWasFile = line.compare(0, 5, "file ") == 0;
    }
    for (const char* key : {"edition", "serial", "expires"})
        if (!seen.count(key)) return Fail(why, std::string("no ") + key);
    if (parsed.files.empty()) return Fail(why, "no file");
    if (parsed.signedAt && *parsed.signedAt >= parsed.expires) return Fail(why, "signed at or after its expiry");
    statement = std::move(parsed);
    return true;
}

bool ParseStatementTime(const std::string& text, int64_t& seconds) {
    static const char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kShape - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
    }
    const auto number = [&](size_t at, size_t count) {
        unsigned v = 0;
        for (size_t i = at; i < at + count; ++i) v = v * 10 + static_cast<unsigned>(text[i] - '0');
        return v;
    };
    const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
    seconds = DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    return true;
}

// Times outside the form's years are shown as its first or last second.
std::string FormatStatementTime(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    if (seconds > kLastStatementSecond) seconds = kLastStatementSecond;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(seconds / kSecondsPerDay, year, month, day);
    const int64_t inDay = seconds % kSecondsPerDay;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(year), month, day,
                  static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
    return text;
}

std::wstring StatementEditionOf(const std::wstring& listingServerFolder) {
    const size_t first = listingServerFolder.find_first_not_of(L"\\/");
    std::wstring edition = first == std::wstring::npos ? L"" : listingServerFolder.substr(first);
    for (wchar_t& c : edition)
        if (c == L'\\') c = L'/';
    return edition;
}
