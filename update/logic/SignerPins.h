// The rules of the signature check before the setup program is launched: the pinned publishers of
// the build setting QV_SETUP_SIGNERS, where a PE file declares its signature, and the launch decision
// from the two verdicts about a signature. Pure: no Win32 types.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// SHA-256 of a certificate's DER encoding.
using CertFingerprint = std::array<uint8_t, 32>;

// Whether the signature matches the bytes it signs. A file that declares a signature which cannot
// be read or does not match is Broken, never Unsigned.
enum class SignatureContent { Intact, Unsigned, Broken };
// Whether the platform trusts the signer's certificate chain (root, validity, revocation).
enum class SignatureChain { Trusted, Untrusted };

struct SignatureVerdict {
    SignatureContent content = SignatureContent::Broken;
    SignatureChain chain = SignatureChain::Untrusted;
    bool hasSigner = false;  // signer holds the fingerprint of the certificate that signed
    CertFingerprint signer{};
    int32_t platformResult = 0;  // what the platform answered, for diagnostics
};

// Parses fingerprints of 64 hexadecimal digits each, in either case, with ':', ' ' or '-' allowed
// between digits, several separated by ';' or ','. Empty text gives no pins. On a malformed value
// returns false and says why in *error.
bool ParseSignerPins(const std::string& text, std::vector<CertFingerprint>& pins, std::string* error = nullptr);

// Content never passes when Broken. Without pins an unsigned file and an untrusted chain pass;
// with pins only an intact signature by a pinned certificate passes, whatever the chain.
bool SignatureAllowsLaunch(const SignatureVerdict& verdict, const std::vector<CertFingerprint>& pins);

// Where a PE file keeps its signature (the certificate table, data directory 4).
struct PeSignatureLocation {
    bool isPe = false;
    uint32_t offset = 0;  // file offset of the table; 0 with size 0 when the file declares none
    uint32_t size = 0;
    bool DeclaresSignature() const { return offset != 0 || size != 0; }
};
// The offset of the PE headers named by the DOS header (its first 64 bytes); 0 when the bytes do
// not begin with "MZ".
uint32_t PeHeadersOffset(const uint8_t* dosHeader, size_t size);
// Reads the certificate-table entry from the bytes found at the PE headers' offset.
PeSignatureLocation FindPeSignature(const uint8_t* peHeaders, size_t size);
