// The diagnostics log's line format and rotation rule.
#include "system/logic/LogLine.h"

#include <cstdio>

namespace {

bool IsBareByte(unsigned char c) { return c > 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '='; }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence at `at`, or 0 when the bytes there are not one (overlong
// forms, surrogates and code points past U+10FFFF included).
size_t Utf8SequenceAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (!IsContinuation(byte(at + i))) return 0;
    }
    return length;
}

void AppendHexByte(std::string& out, unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
}

// The code point of the valid UTF-8 sequence of `length` bytes at `at`.
uint32_t CodePointAt(const std::string& text, size_t at, size_t length) {
    const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(text[at + i])); };
    if (length == 1) return byte(0);
    uint32_t point = byte(0) & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) point = (point << 6) | (byte(i) & 0x3F);
    return point;
}

// Characters a log viewer may take for a line break (C1 controls, the line and paragraph
// separators) or that reorder the text around them (the bidirectional controls).
bool IsHiddenControl(uint32_t point) {
    return (point >= 0x80 && point <= 0x9F) || point == 0x061C || point == 0x200E || point == 0x200F ||
           point == 0x2028 || point == 0x2029 || (point >= 0x202A && point <= 0x202E) ||
           (point >= 0x2066 && point <= 0x2069);
}

void AppendCodePoint(std::string& out, uint32_t point) {
    char hex[12];
    std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(point));
    out += hex;
}

}  // namespace

std::string FormatLogTime(const LogTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return text;
}

std::string EscapeLogValue(const std::string& value) {
    bool bare = !value.empty();
    for (char c : value) bare = bare && IsBareByte(static_cast<unsigned char>(c));
    if (bare) return value;

    std::string out = "\"";
    for (size_t at = 0; at < value.size();) {
        const unsigned char c = static_cast<unsigned char>(value[at]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            AppendHexByte(out, c);
        } else if (const size_t length = Utf8SequenceAt(value, at)) {
            const uint32_t point = CodePointAt(value, at, length);
            if (IsHiddenControl(point))
                AppendCodePoint(out, point);
            else
                out.append(value, at, length);
            at += length;
            continue;
        } else {
            AppendHexByte(out, c);
        }
        ++at;
    }
    out += '"';
    return out;
}

std::string FormatLogLine(const LogTime& time, uint32_t thread, const std::string& event,
                          const std::vector<LogFact>& facts) {
    std::string line = FormatLogTime(time);
    line += ' ';
    line += std::to_string(thread);
    line += ' ';
    line += event;
    for (const LogFact& fact : facts) {
        line += ' ';
        line += fact.name;
        line += '=';
        line += EscapeLogValue(fact.value);
    }
    line += '\n';
    return line;
}

bool LogNeedsRotation(uint64_t current, uint64_t appending, uint64_t limit) {
    return current > 0 && appending > limit - (current < limit ? current : limit);
}

bool LogsMachineWide(const std::wstring& accountSid) {
    return accountSid == L"S-1-5-18" || accountSid == L"S-1-5-19" || accountSid == L"S-1-5-20" ||
           accountSid.rfind(L"S-1-5-80-", 0) == 0;
}
