// Four-number program versions (major.minor.build.revision) as version resources hold them, and the
// rule that keeps an older setup program from replacing a newer scanner. Pure: no Win32 types.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct FourPartVersion {
    std::array<uint16_t, 4> parts{};

    // The two 32-bit halves of VS_FIXEDFILEINFO (dwFileVersionMS/LS, dwProductVersionMS/LS).
    static FourPartVersion FromFixed(uint32_t ms, uint32_t ls);
    friend bool operator==(const FourPartVersion& a, const FourPartVersion& b) { return a.parts == b.parts; }
    friend bool operator!=(const FourPartVersion& a, const FourPartVersion& b) { return a.parts != b.parts; }
    friend bool operator<(const FourPartVersion& a, const FourPartVersion& b) { return a.parts < b.parts; }
};

// "7.3.1.0": exactly four decimal numbers of 0 to 65535 joined by '.', nothing else. The statement's
// form, strict so that one version has one spelling.
bool ParseFourPartVersion(const std::string& text, FourPartVersion& version);
// The same strict form as text.
std::string FormatFourPartVersion(const FourPartVersion& version);
std::wstring FormatFourPartVersionW(const FourPartVersion& version);

// A version text as Windows programs show them ("7.3.1.0", "7, 3, 1, 0", "7.3", "7.3.1.0 beta"): up
// to four leading numbers separated by '.' or ',' with optional spaces; missing parts are 0. False
// when the text starts with no number ("-", empty) or a number exceeds 65535.
bool ReadVersionText(const std::wstring& text, FourPartVersion& version);
