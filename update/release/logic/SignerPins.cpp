// Pinned publishers, the chain verdict and the launch decision.
#include "update/release/logic/SignerPins.h"

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

bool SignatureAllowsLaunch(const SignatureVerdict& verdict, const SignaturePolicy& policy) {
    switch (verdict.content) {
    case SignatureContent::Broken: return false;
    case SignatureContent::Unsigned: return policy.allowUnsigned;
    case SignatureContent::Intact: break;
    }
    if (verdict.chain == SignatureChain::Revoked) return false;
    // A pin stands in for the chain: the platform's opinion of the root does not matter here.
    if (!policy.pins.empty())
        return verdict.hasSigner &&
               std::find(policy.pins.begin(), policy.pins.end(), verdict.signer) != policy.pins.end();
    return verdict.chain == SignatureChain::Trusted || policy.allowUnsigned;
}

std::optional<CertFingerprint> PublisherOf(const SignatureVerdict& verdict, const SignaturePolicy& policy) {
    if (policy.pins.empty()) return verdict.issuerChain;
    if (!verdict.hasSigner) return std::nullopt;
    return verdict.signer;
}

SignatureChain ChainVerdictOf(uint32_t platformResult, uint32_t revocationChainStatus) {
    using namespace platform_trust;
    if (platformResult == kCertRevoked || platformResult == kExplicitDistrust ||
        (revocationChainStatus & (kStatusRevoked | kStatusExplicitDistrust)))
        return SignatureChain::Revoked;
    const bool revocationUnknown = platformResult == kRevocationFailure || platformResult == kRevocationOffline ||
                                   platformResult == kNoRevocationCheck;
    return platformResult == 0 || revocationUnknown ? SignatureChain::Trusted : SignatureChain::Untrusted;
}
