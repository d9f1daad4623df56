// UTF-8 decoding as MultiByteToWideChar does it, and encoding of any wide string.
#include "system/logic/Utf8.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacementChar = 0xFFFD;

void AppendCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::wstring Utf8ToWide(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        size_t length = 0;
        char32_t cp = 0;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;   // no overlong forms
            if (lead == 0xED) high = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        } else {
            AppendCodePoint(out, kReplacementChar);
            ++i;
            continue;
        }
        // Decode the continuation bytes; a malformed sequence is replaced as one unit up to the
        // first byte that breaks it.
        size_t used = 1;
        bool valid = true;
        for (; used < length; ++used) {
            if (i + used >= n) {
                valid = false;
                break;
            }
            const unsigned char c = static_cast<unsigned char>(bytes[i + used]);
            const unsigned char lo = used == 1 ? low : 0x80;
            const unsigned char hi = used == 1 ? high : 0xBF;
            if (c < lo || c > hi) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        AppendCodePoint(out, valid ? cp : kReplacementChar);
        i += used;
    }
    return out;
}

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = static_cast<uint32_t>(text[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
            const uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
        AppendUtf8(out, cp);
    }
    return out;
}
