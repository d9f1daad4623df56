// Parsing of the bilingual text resource and the language choice.
#include "system/logic/TextTable.h"

#include <cmath>
#include <cstdio>

namespace {

// Replaces every occurrence of `from` in one left-to-right pass, as CString::Replace does.
std::wstring ReplaceAll(const std::wstring& text, const std::wstring& from, const std::wstring& to) {
    std::wstring out;
    out.reserve(text.size());
    size_t pos = 0;
    for (;;) {
        const size_t hit = text.find(from, pos);
        if (hit == std::wstring::npos) break;
        out.append(text, pos, hit - pos);
        out += to;
        pos = hit + from.size();
    }
    out.append(text, pos, std::wstring::npos);
    return out;
}

// Field `index` of `text` split at `separator`; empty when there are fewer separators.
std::wstring ExtractField(const std::wstring& text, size_t index, wchar_t separator) {
    size_t start = 0;
    for (size_t k = 0; k < index; ++k) {
        const size_t sep = text.find(separator, start);
        if (sep == std::wstring::npos) return std::wstring();
        start = sep + 1;
    }
    const size_t end = text.find(separator, start);
    return text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

std::wstring NumberText(double value, int precision) {
    char small[64];
    const int length = std::snprintf(small, sizeof small, "%.*f", precision, value);
    if (length < 0) return std::wstring();
    std::string digits;
    if (static_cast<size_t>(length) < sizeof small) {
        digits.assign(small, static_cast<size_t>(length));
    } else {
        digits.resize(static_cast<size_t>(length) + 1);
        std::snprintf(&digits[0], digits.size(), "%.*f", precision, value);
        digits.resize(static_cast<size_t>(length));
    }
    return std::wstring(digits.begin(), digits.end());
}

std::wstring IntegerText(double value) {
    if (std::isnan(value)) return L"0";
    if (value >= 9.2e18) return std::to_wstring(9223372036854775807LL);
    if (value <= -9.2e18) return std::to_wstring(-9223372036854775807LL - 1);
    return std::to_wstring(static_cast<long long>(value));
}

}  // namespace

std::vector<std::wstring> ParseTextTable(const std::wstring& resourceText, int languageIndex) {
    const std::wstring text = ReplaceAll(resourceText, L"\\n", L"\n");
    std::vector<std::wstring> entries;
    size_t start = 0;
    for (;;) {
        const size_t sep = text.find(L';', start);
        const size_t end = sep == std::wstring::npos ? text.size() : sep;
        if (end == start) break;  // an empty field ends the table
        const std::wstring field = text.substr(start, end - start);
        std::wstring column;
        if (languageIndex >= 0) column = ExtractField(field, static_cast<size_t>(languageIndex), L'^');
        entries.push_back(ReplaceAll(column, L"\r\n", L""));
        if (sep == std::wstring::npos) break;  // no separator left for another field
        start = sep + 1;
    }
    return entries;
}

int LanguageIndexFromUiLanguage(unsigned langId) { return langId == 0x0412 ? 1 : 0; }

int LanguageIndexFromSystemPrimaryLanguage(unsigned primary) {
    switch (primary & 0x3FF) {
    case 0x12: return 1;   // Korean
    case 0x19: return 5;   // Russian
    case 0x0A: return 6;   // Spanish
    case 0x06: return 7;   // Danish
    case 0x08: return 8;   // Greek
    case 0x10: return 9;   // Italian
    case 0x15: return 10;  // Polish
    case 0x16: return 11;  // Portuguese
    case 0x1F: return 12;  // Turkish
    case 0x07: return 13;  // German
    case 0x01: return 19;  // Arabic
    default: return 0;
    }
}

std::wstring FormatProgressText(const std::wstring& format, double percent, const std::wstring& str) {
    enum class Next { Number, String, None };
    Next next = Next::Number;
    std::wstring out;
    const size_t n = format.size();
    size_t i = 0;
    while (i < n) {
        if (format[i] != L'%') {
            out += format[i++];
            continue;
        }
        size_t j = i + 1;
        if (j < n && format[j] == L'%') {
            out += L'%';
            i = j + 1;
            continue;
        }
        int precision = -1;
        if (j + 1 < n && format[j] == L'.' && format[j + 1] >= L'0' && format[j + 1] <= L'9') {
            precision = static_cast<int>(format[j + 1] - L'0');
            j += 2;
        }
        const wchar_t conversion = j < n ? format[j] : L'\0';
        if (conversion == L'f' && next == Next::Number) {
            out += NumberText(percent, precision < 0 ? 6 : precision);
            next = Next::String;
            i = j + 1;
        } else if (conversion == L'd' && precision < 0 && next == Next::Number) {
            out += IntegerText(percent);
            next = Next::String;
            i = j + 1;
        } else if (conversion == L's' && precision < 0 && next == Next::String) {
            out += str;
            next = Next::None;
            i = j + 1;
        } else {
            out += L'%';  // the rest of the unknown conversion follows as ordinary text
            ++i;
        }
    }
    return out;
}
