// A fuzzer input read front to back as small integers, flags and strings, so seed files are easy
// to write by hand (tests/fuzz/make_seeds.py) and mutations keep their structure. Reads past the
// end give zeros and empty strings.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Stops the run with a message; libFuzzer reports the abort as a crash and saves the input.
#define FUZZ_CHECK(cond)                                                                        \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }

    uint8_t U8() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    bool Bool() { return (U8() & 1) != 0; }

    // lo .. hi inclusive (hi - lo below 65536).
    int Range(int lo, int hi) {
        const unsigned span = static_cast<unsigned>(hi - lo) + 1;
        return lo + static_cast<int>((span <= 256 ? U8() : U16()) % span);
    }

    double Double() {
        uint64_t bits = static_cast<uint64_t>(U32()) | (static_cast<uint64_t>(U32()) << 32);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // A length byte (255: a 16-bit length follows), then that many bytes.
    std::string Bytes() {
        size_t length = U8();
        if (length == 255) length = U16();
        length = std::min(length, m_size - std::min(m_pos, m_size));
        std::string out(reinterpret_cast<const char*>(m_data + m_pos), length);
        m_pos += length;
        return out;
    }

    std::string Rest() {
        const size_t start = std::min(m_pos, m_size);
        m_pos = m_size;
        return std::string(reinterpret_cast<const char*>(m_data + start), m_size - start);
    }

    // Bytes() turned into characters with WideFromBytes.
    std::wstring Wide() { return WideFromBytes(Bytes()); }

    // ASCII bytes stand for themselves, 0xA0..0xFF for the same Latin-1 character and 0x80..0x9F
    // for characters the name and case rules treat specially (dotless i, Greek final sigma,
    // Cyrillic, full-width letters and separators, Hangul, surrogates, characters outside the BMP).
    static std::wstring WideFromBytes(const std::string& bytes) {
        static const uint32_t kSpecial[32] = {
            0x0131,  0x0178,   0x0100, 0x0101, 0x017E, 0x03C2, 0x03B1, 0x0430, 0x0450, 0xFF41, 0xFF21,
            0xAC00,  0xD55C,   0xFFFD, 0xFEFF, 0xD800, 0xDC00, 0x2215, 0xFF0F, 0xFF3C, 0x2024, 0x202E,
            0x1F600, 0x10FFFF, 0x007F, 0x0085, 0x2028, 0x3000, 0x0130, 0xFFFF, 0x1E9E, 0x00B9,
        };
        std::wstring out;
        out.reserve(bytes.size());
        for (unsigned char b : bytes) {
            const uint32_t c = b >= 0x80 && b < 0xA0 ? kSpecial[b - 0x80] : b;
            out += static_cast<wchar_t>(c);
        }
        return out;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};
