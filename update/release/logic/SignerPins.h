// The rules of the signature check before the setup program is launched: the pinned publishers of
// the build setting QV_SETUP_SIGNERS, the chain verdict from what the platform reports, and the
// launch decision from the two verdicts about a signature. Pure: no Win32 types.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// SHA-256 of a certificate's DER encoding.
using CertFingerprint = std::array<uint8_t, 32>;

// Whether the signature matches the bytes it signs. A file that declares a signature which cannot
// be read or does not match is Broken, never Unsigned.
enum class SignatureContent { Intact, Unsigned, Broken };
// Whether the platform trusts the signer's certificate chain (root, validity): Revoked when a
// certificate of the chain is revoked or explicitly distrusted, which no pin overrules.
enum class SignatureChain { Trusted, Untrusted, Revoked };

struct SignatureVerdict {
    SignatureContent content = SignatureContent::Broken;
    SignatureChain chain = SignatureChain::Untrusted;
    bool hasSigner = false;  // signer holds the fingerprint of the certificate that signed
    CertFingerprint signer{};
    // The signer's subject with the chain of its issuers, as the platform built it (a digest over
    // the subject and the issuers' fingerprints; a self-signed certificate is its own issuer).
    std::optional<CertFingerprint> issuerChain;
    int32_t platformResult = 0;  // what the platform answered, for diagnostics
};

// Parses fingerprints of 64 hexadecimal digits each, in either case, with ':', ' ' or '-' allowed
// between digits, several separated by ';' or ','. Empty text gives no pins and a blank entry is
// skipped, but an entry of separators alone is malformed. On a malformed value returns false and
// says why in *error.
bool ParseSignerPins(const std::string& text, std::vector<CertFingerprint>& pins, std::string* error = nullptr);

// What the launch rule needs besides the verdict: the build's pinned publishers and whether the
// build lets a setup without a trusted signature run (QV_ALLOW_UNSIGNED_SETUP).
struct SignaturePolicy {
    std::vector<CertFingerprint> pins;
    bool allowUnsigned = false;
};

// Broken content and a revoked chain never pass. With pins only an intact signature by a pinned
// certificate passes, whatever the chain says of its root; without pins only an intact signature
// whose chain the platform trusts. A build that allows unsigned setups also lets an unsigned file
// pass, and without pins one whose chain is merely untrusted.
bool SignatureAllowsLaunch(const SignatureVerdict& verdict, const SignaturePolicy& policy);

// The publisher who signed, as a release statement and its setup program are compared and statement
// serials are counted: where the build pins publishers, the signer's own certificate (a pin names
// one key); otherwise its subject and issuer chain, which a renewed certificate from the same issuers
// keeps. Null when the verdict tells neither.
std::optional<CertFingerprint> PublisherOf(const SignatureVerdict& verdict, const SignaturePolicy& policy);

// Platform answers and chain status bits the chain verdict is read from (WinVerifyTrust's HRESULT,
// CERT_TRUST_STATUS::dwErrorStatus of a chain built with revocation checking).
namespace platform_trust {
constexpr uint32_t kCertRevoked = 0x800B010C;             // CERT_E_REVOKED
constexpr uint32_t kExplicitDistrust = 0x800B0111;        // TRUST_E_EXPLICIT_DISTRUST
constexpr uint32_t kRevocationFailure = 0x800B010E;       // CERT_E_REVOCATION_FAILURE
constexpr uint32_t kRevocationOffline = 0x80092013;       // CRYPT_E_REVOCATION_OFFLINE
constexpr uint32_t kNoRevocationCheck = 0x80092012;       // CRYPT_E_NO_REVOCATION_CHECK
constexpr uint32_t kStatusRevoked = 0x00000004;           // CERT_TRUST_IS_REVOKED
constexpr uint32_t kStatusExplicitDistrust = 0x04000000;  // CERT_TRUST_IS_EXPLICIT_DISTRUST
}  // namespace platform_trust

// The chain verdict of an intact signature from the platform's single answer and the trust status
// of the signer's chain as built with revocation checking. The single answer reports one fault
// ("untrusted root") and may hide another ("revoked"), so revocation is read from the status; a
// revocation server that cannot be reached refuses nothing.
SignatureChain ChainVerdictOf(uint32_t platformResult, uint32_t revocationChainStatus);
