// Fuzzes the diagnostics log's lines with hostile values (file names and answers from the server):
// every line is one line without control bytes, C1 controls, line or paragraph separators or
// bidirectional controls, and each value reads back exactly as it was.
//
// Input: a value (length-prefixed bytes), a thread number (4 bytes), then the rest of the input as
// a second value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "system/logic/LogLine.h"
#include "system/logic/Utf8.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// True when the text holds, unescaped, a character a log viewer may break a line at or reorder text
// around: U+0080-U+009F, U+061C, U+200E, U+200F, U+2028-U+202E, U+2066-U+2069, matched as UTF-8.
bool HoldsHiddenControl(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(text[i + 1]);
        if (a == 0xC2 && b >= 0x80 && b <= 0x9F) return true;
        if (a == 0xD8 && b == 0x9C) return true;
        if (a != 0xE2 || i + 2 >= text.size()) continue;
        const unsigned char c = static_cast<unsigned char>(text[i + 2]);
        if (b == 0x80 && (c == 0x8E || c == 0x8F || (c >= 0xA8 && c <= 0xAE))) return true;
        if (b == 0x81 && c >= 0xA6 && c <= 0xA9) return true;
    }
    return false;
}

// Reads a value as the line shows it, the way a reader of the log would; false when malformed.
bool ReadBack(const std::string& shown, std::string& value) {
    value.clear();
    if (shown.empty()) return false;
    if (shown[0] != '"') {
        value = shown;
        return true;
    }
    if (shown.size() < 2 || shown.back() != '"') return false;
    for (size_t i = 1; i + 1 < shown.size(); ++i) {
        if (shown[i] == '"') return false;
        if (shown[i] != '\\') {
            value += shown[i];
            continue;
        }
        if (++i + 1 >= shown.size()) return false;
        switch (shown[i]) {
        case '"':
        case '\\': value += shown[i]; break;
        case 'r': value += '\r'; break;
        case 'n': value += '\n'; break;
        case 't': value += '\t'; break;
        case 'x': {
            if (i + 3 >= shown.size()) return false;
            const int high = HexDigit(shown[i + 1]), low = HexDigit(shown[i + 2]);
            if (high < 0 || low < 0) return false;
            value += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        case 'u': {
            if (i + 5 >= shown.size()) return false;
            uint32_t point = 0;
            for (size_t k = 1; k <= 4; ++k) {
                const int digit = HexDigit(shown[i + k]);
                if (digit < 0) return false;
                point = point * 16 + static_cast<uint32_t>(digit);
            }
            value += WideToUtf8(std::wstring(1, static_cast<wchar_t>(point)));
            i += 4;
            break;
        }
        default: return false;
        }
    }
    return true;
}

void CheckValue(const std::string& value) {
    const std::string shown = EscapeLogValue(value);
    for (char c : shown) {
        const unsigned char byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(byte >= 0x20 && byte != 0x7F);
    }
    FUZZ_CHECK(!HoldsHiddenControl(shown));
    // A bare value never holds what separates facts.
    if (shown[0] != '"') FUZZ_CHECK(shown.find_first_of(" =\"\\") == std::string::npos);
    std::string back;
    FUZZ_CHECK(ReadBack(shown, back));
    FUZZ_CHECK(back == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::string first = in.Bytes();
    const uint32_t thread = in.U32();
    const std::string second = in.Rest();

    CheckValue(first);
    CheckValue(second);
    const std::string line = FormatLogLine(LogTime{}, thread, "event", {{"a", first}, {"b", second}});
    FUZZ_CHECK(line.find('\n') == line.size() - 1);
    FUZZ_CHECK(line.find('\r') == std::string::npos);
    FUZZ_CHECK(!HoldsHiddenControl(line));
    return 0;
}
