// Pinned publishers, the PE certificate table and the launch decision.
#include "update/logic/SignerPins.h"

#include <algorithm>

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDigitSeparator(char c) { return c == ':' || c == ' ' || c == '-'; }

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
}  // namespace

bool ParseSignerPins(const std::string& text, std::vector<CertFingerprint>& pins, std::string* error) {
    pins.clear();
    std::vector<CertFingerprint> parsed;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(text.find_first_of(";,", start), text.size());
        const std::string item = text.substr(start, end - start);
        CertFingerprint fp{};
        size_t digits = 0;
        for (char c : item) {
            if (IsDigitSeparator(c)) continue;
            const int v = HexValue(c);
            if (v < 0)
                return Fail(error, "\"" + item + "\" holds '" + std::string(1, c) + "', not a hexadecimal digit");
            if (digits == 64) return Fail(error, "\"" + item + "\" has more than 64 hexadecimal digits");
            fp[digits / 2] = static_cast<uint8_t>(fp[digits / 2] | (digits % 2 ? v : v << 4));
            ++digits;
        }
        // Blank items (an empty setting, a trailing separator) name no certificate.
        const bool blank = item.find_first_not_of(' ') == std::string::npos;
        if (!blank && digits != 64)
            return Fail(error, "\"" + item + "\" has " + std::to_string(digits) + " hexadecimal digits, not 64");
        if (!blank && std::find(parsed.begin(), parsed.end(), fp) == parsed.end()) parsed.push_back(fp);
        if (end == text.size()) break;
        start = end + 1;
    }
    pins = std::move(parsed);
    return true;
}

bool SignatureAllowsLaunch(const SignatureVerdict& verdict, const std::vector<CertFingerprint>& pins) {
    if (verdict.content == SignatureContent::Broken) return false;
    if (pins.empty()) return true;  // an unsigned setup and an untrusted chain run as before
    // A pin stands in for the chain: the platform's opinion of the root does not matter here.
    return verdict.content == SignatureContent::Intact && verdict.hasSigner &&
           std::find(pins.begin(), pins.end(), verdict.signer) != pins.end();
}

uint32_t PeHeadersOffset(const uint8_t* dosHeader, size_t size) {
    if (size < 0x40 || dosHeader[0] != 'M' || dosHeader[1] != 'Z') return 0;
    return ReadLe32(dosHeader + 0x3C);
}

PeSignatureLocation FindPeSignature(const uint8_t* peHeaders, size_t size) {
    PeSignatureLocation none;
    // "PE\0\0", the 20-byte file header, then the optional header.
    if (size < 24 + 2 || peHeaders[0] != 'P' || peHeaders[1] != 'E' || peHeaders[2] != 0 || peHeaders[3] != 0)
        return none;
    const uint8_t* optional = peHeaders + 24;
    const size_t optionalSize = std::min<size_t>(size - 24, ReadLe16(peHeaders + 20));
    const uint16_t magic = ReadLe16(optional);
    size_t countAt, directoriesAt;
    if (magic == 0x10B) {
        countAt = 92;
        directoriesAt = 96;
    } else if (magic == 0x20B) {
        countAt = 108;
        directoriesAt = 112;
    } else {
        return none;
    }
    PeSignatureLocation found;
    found.isPe = true;
    if (optionalSize < countAt + 4 || ReadLe32(optional + countAt) <= 4) return found;
    const size_t entry = directoriesAt + 4 * 8;
    if (optionalSize < entry + 8) return found;
    found.offset = ReadLe32(optional + entry);
    found.size = ReadLe32(optional + entry + 4);
    return found;
}
