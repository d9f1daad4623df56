// Four-number versions: the strict statement form and the looser text of version resources.
#include "update/handoff/logic/SetupVersion.h"

namespace {
template <typename Char>
bool IsDigit(Char c) {
    return c >= '0' && c <= '9';
}

// Reads one number of at most 65535 at `at`, moving past it; false on overflow.
template <typename Char>
bool ReadPart(const std::basic_string<Char>& text, size_t& at, uint16_t& part) {
    uint32_t value = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        value = value * 10 + static_cast<uint32_t>(text[at] - '0');
        if (value > 0xFFFF) return false;
    }
    part = static_cast<uint16_t>(value);
    return true;
}

template <typename Char>
void SkipSpaces(const std::basic_string<Char>& text, size_t& at) {
    while (at < text.size() && text[at] == ' ') ++at;
}
}  // namespace

FourPartVersion FourPartVersion::FromFixed(uint32_t ms, uint32_t ls) {
    FourPartVersion v;
    v.parts = {static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms & 0xFFFF), static_cast<uint16_t>(ls >> 16),
               static_cast<uint16_t>(ls & 0xFFFF)};
    return v;
}

bool ParseFourPartVersion(const std::string& text, FourPartVersion& version) {
    FourPartVersion parsed;
    size_t at = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (i > 0 && (at >= text.size() || text[at++] != '.')) return false;
        const size_t first = at;
        if (!ReadPart(text, at, parsed.parts[i]) || at == first) return false;
        // "07" would be a second spelling of 7.
        if (at - first > 1 && text[first] == '0') return false;
    }
    if (at != text.size()) return false;
    version = parsed;
    return true;
}

std::string FormatFourPartVersion(const FourPartVersion& version) {
    const auto& p = version.parts;
    return std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." + std::to_string(p[3]);
}

std::wstring FormatFourPartVersionW(const FourPartVersion& version) {
    const std::string text = FormatFourPartVersion(version);
    return std::wstring(text.begin(), text.end());
}

bool ReadVersionText(const std::wstring& text, FourPartVersion& version) {
    FourPartVersion read;
    size_t at = 0;
    SkipSpaces(text, at);
    if (at >= text.size() || !IsDigit(text[at])) return false;
    if (!ReadPart(text, at, read.parts[0])) return false;
    for (size_t i = 1; i < 4; ++i) {
        size_t next = at;
        SkipSpaces(text, next);
        if (next >= text.size() || (text[next] != '.' && text[next] != ',')) break;
        ++next;
        SkipSpaces(text, next);
        if (next >= text.size() || !IsDigit(text[next])) break;
        at = next;
        if (!ReadPart(text, at, read.parts[i])) return false;
    }
    version = read;
    return true;
}
