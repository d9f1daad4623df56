// Fuzzes the text resource road: UTF-8 conversion, the table parse in both languages (and any
// other index) and the progress format with any format text and number.
//
// Input: flags (bit 0: cut the text at its first zero byte, as the resource loader does), a
// 32-bit extra language index, a double for the percentage, the string argument as length-prefixed
// UTF-8, then the resource text itself up to the end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "system/logic/TextTable.h"
#include "system/logic/Utf8.h"

namespace {

// The longest a number conversion can print: %.9f of the largest double plus sign and point.
constexpr size_t kLongestNumber = 330;

size_t CountAscii(const std::string& bytes) {
    size_t n = 0;
    for (unsigned char b : bytes) n += b < 0x80;
    return n;
}

size_t CountAscii(const std::wstring& text) {
    size_t n = 0;
    for (wchar_t c : text) n += static_cast<uint32_t>(c) < 0x80;
    return n;
}

void CheckConversion(const std::string& bytes, const std::wstring& text) {
    FUZZ_CHECK(text.size() <= bytes.size());
    // A broken sequence never swallows the byte that breaks it, so ASCII always survives.
    FUZZ_CHECK(CountAscii(text) == CountAscii(bytes));
    for (wchar_t c : text) {
        const uint32_t u = static_cast<uint32_t>(c);
        FUZZ_CHECK(u <= 0x10FFFF);
        if (sizeof(wchar_t) == 4) FUZZ_CHECK(u < 0xD800 || u > 0xDFFF);
    }
    const std::string again = WideToUtf8(text);
    FUZZ_CHECK(Utf8ToWide(again) == text);
    if (text.find(L'\xFFFD') == std::wstring::npos) FUZZ_CHECK(again == bytes);
}

// The text after backslash-n became a line feed, the first step of the parse.
std::wstring WithLineFeeds(const std::wstring& text) {
    std::wstring lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'n') {
            lines += L'\n';
            ++i;
        } else {
            lines += text[i];
        }
    }
    return lines;
}

// True when every carriage return starts a CR LF pair; only then can the parse promise entries
// without carriage returns.
bool EveryCrStartsAPair(const std::wstring& lines) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == L'\r' && (i + 1 == lines.size() || lines[i + 1] != L'\n')) return false;
    }
    return true;
}

// Removing a CR LF can bring a backslash and an "n" together, so only a text without CR LF pairs
// promises entries without backslash-n.
void CheckTable(const std::wstring& text, const std::vector<std::wstring>& entries) {
    const std::wstring lines = WithLineFeeds(text);
    const bool crFree = EveryCrStartsAPair(lines);
    const bool hasPairs = lines.find(L"\r\n") != std::wstring::npos;
    // One entry per ";"-separated field up to the first empty one.
    size_t fields = 0;
    for (size_t start = 0; start < text.size() && text[start] != L';'; ++fields) {
        const size_t sep = text.find(L';', start);
        if (sep == std::wstring::npos) {
            ++fields;
            break;
        }
        start = sep + 1;
    }
    FUZZ_CHECK(entries.size() == fields);
    for (const std::wstring& entry : entries) {
        FUZZ_CHECK(entry.find(L';') == std::wstring::npos);
        FUZZ_CHECK(entry.find(L'^') == std::wstring::npos);
        if (!hasPairs) FUZZ_CHECK(entry.find(L"\\n") == std::wstring::npos);
        if (crFree) FUZZ_CHECK(entry.find(L'\r') == std::wstring::npos);
    }
}

void CheckFormat(const std::wstring& format, double percent, const std::wstring& str) {
    const std::wstring out = FormatProgressText(format, percent, str);
    if (format.find(L'%') == std::wstring::npos) FUZZ_CHECK(out == format);
    FUZZ_CHECK(out.size() <= format.size() + kLongestNumber + str.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t flags = in.U8();
    const int extraIndex = in.I32();
    const double percent = in.Double();
    const std::string strBytes = in.Bytes();
    std::string bytes = in.Rest();
    if (flags & 1) bytes = bytes.substr(0, bytes.find('\0'));

    const std::wstring text = Utf8ToWide(bytes);
    CheckConversion(bytes, text);
    const std::wstring str = Utf8ToWide(strBytes);
    CheckConversion(strBytes, str);

    const std::vector<std::wstring> english = ParseTextTable(text, 0);
    const std::vector<std::wstring> korean = ParseTextTable(text, 1);
    const std::vector<std::wstring> other = ParseTextTable(text, extraIndex);
    CheckTable(text, english);
    CheckTable(text, korean);
    CheckTable(text, other);
    // The number of entries is the number of fields, whatever the column.
    FUZZ_CHECK(english.size() == korean.size());
    FUZZ_CHECK(english.size() == other.size());

    // Every entry as a progress format, with the caller's "%" and with the fuzzed string.
    const size_t formats = std::min<size_t>(english.size(), 40);
    for (size_t k = 0; k < formats; ++k) {
        CheckFormat(english[k], percent, L"%");
        CheckFormat(korean[k], percent, str);
    }
    CheckFormat(text, percent, str);
    return 0;
}
