// The pinned publishers of the build setting, the certificate table of a PE file and the launch
// decision from the two verdicts about a setup program's signature.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/handoff/logic/PeCertificateTable.h"
#include "update/release/logic/SignerPins.h"

namespace {

const std::string kA =
    "ab:cd:ef:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:AB:CD:EF:01:23:45:67:89";
const std::string kB = "00112233-44556677 8899AABB-ccddeeff 00112233-44556677 8899aabb-CCDDEEFF";

CertFingerprint Fp(uint8_t first) {
    CertFingerprint fp{};
    fp[0] = first;
    return fp;
}

TEST(SignerPins, ParsesEitherCaseWithSeparatorsAndSeveralFingerprints) {
    std::vector<CertFingerprint> pins;
    ASSERT_TRUE(ParseSignerPins(kA + ";" + kB + ", " + kA + ",", pins));
    ASSERT_EQ(pins.size(), 2u);  // the repeated one counts once
    EXPECT_EQ(pins[0][0], 0xAB);
    EXPECT_EQ(pins[0][31], 0x89);
    EXPECT_EQ(pins[1][0], 0x00);
    EXPECT_EQ(pins[1][12], 0xCC);
    EXPECT_EQ(pins[1][31], 0xFF);

    ASSERT_TRUE(ParseSignerPins("", pins));
    EXPECT_TRUE(pins.empty());
}

TEST(SignerPins, MalformedFingerprintsFailWithAReason) {
    struct Row {
        std::string text;
        const char* reason;  // a part of the error message
    };
    const Row rows[] = {
        {kA + ";abcd", "4 hexadecimal digits"},
        {kA + "0", "more than 64"},
        {"sha256:" + kA.substr(0, 60), "'s'"},
        {std::string(63, 'a') + "g", "'g'"},
        // Separators alone name no certificate: they are a typing error, not a blank entry.
        {kA + ";:", "0 hexadecimal digits"},
        {" - ", "0 hexadecimal digits"},
    };
    for (const Row& row : rows) {
        std::vector<CertFingerprint> pins(1);
        std::string why;
        EXPECT_FALSE(ParseSignerPins(row.text, pins, &why)) << row.text;
        EXPECT_NE(why.find(row.reason), std::string::npos) << row.text << ": " << why;
        EXPECT_TRUE(pins.empty()) << row.text;  // nothing half-parsed is left behind
    }
}

// The launch decision over content x chain x pins x build setting, one row per combination.
TEST(SignerPins, LaunchDecisionTable) {
    using C = SignatureContent;
    using H = SignatureChain;
    enum Signer { Pinned, Other, Unreadable };
    struct Row {
        C content;
        H chain;
        Signer signer;
        bool pinned, allowUnsigned, launched;
    };
    const Row rows[] = {
        // Broken content and a revoked chain never run.
        {C::Broken, H::Trusted, Pinned, false, true, false},
        {C::Broken, H::Trusted, Pinned, true, true, false},
        {C::Intact, H::Revoked, Pinned, true, true, false},
        {C::Intact, H::Revoked, Pinned, false, true, false},
        // Without pins the platform's trust decides.
        {C::Intact, H::Trusted, Other, false, false, true},
        {C::Intact, H::Untrusted, Other, false, false, false},
        {C::Unsigned, H::Untrusted, Unreadable, false, false, false},
        // With pins the pin stands in for the chain, and only a pinned signer runs.
        {C::Intact, H::Untrusted, Pinned, true, false, true},
        {C::Intact, H::Trusted, Other, true, false, false},
        {C::Intact, H::Trusted, Unreadable, true, false, false},
        {C::Unsigned, H::Untrusted, Unreadable, true, false, false},
        // A build that allows unsigned setups gives up the chain, not the pins.
        {C::Unsigned, H::Untrusted, Unreadable, false, true, true},
        {C::Intact, H::Untrusted, Other, false, true, true},
        {C::Unsigned, H::Untrusted, Unreadable, true, true, true},
        {C::Intact, H::Trusted, Other, true, true, false},
    };
    for (const Row& row : rows) {
        SignatureVerdict v;
        v.content = row.content;
        v.chain = row.chain;
        v.hasSigner = row.signer != Unreadable;
        v.signer = Fp(row.signer == Pinned ? 2 : 3);
        SignaturePolicy policy;
        if (row.pinned) policy.pins = {Fp(1), Fp(2)};
        policy.allowUnsigned = row.allowUnsigned;
        EXPECT_EQ(SignatureAllowsLaunch(v, policy), row.launched)
            << "row " << (&row - rows) << ": content " << int(row.content) << ", chain " << int(row.chain);
    }

    // The publisher: the pinned key itself, else the subject and issuer chain.
    SignatureVerdict v;
    v.hasSigner = true, v.signer = Fp(2), v.issuerChain = Fp(7);
    SignaturePolicy pinned;
    pinned.pins = {Fp(2)};
    EXPECT_EQ(PublisherOf(v, pinned), Fp(2));
    EXPECT_EQ(PublisherOf(v, SignaturePolicy()), Fp(7));
    v.issuerChain.reset();
    EXPECT_EQ(PublisherOf(v, SignaturePolicy()), std::nullopt);
    v.hasSigner = false;
    EXPECT_EQ(PublisherOf(v, pinned), std::nullopt);
}

TEST(SignerPins, RevocationIsReadFromTheChainAndAnUnreachableServerRefusesNothing) {
    using namespace platform_trust;
    const uint32_t untrustedRoot = 0x800B0109, expired = 0x800B0101;
    EXPECT_EQ(ChainVerdictOf(0, 0), SignatureChain::Trusted);
    EXPECT_EQ(ChainVerdictOf(untrustedRoot, 0x20), SignatureChain::Untrusted);
    EXPECT_EQ(ChainVerdictOf(expired, 0x1), SignatureChain::Untrusted);
    // The single answer names the root; the chain's status says revoked.
    EXPECT_EQ(ChainVerdictOf(untrustedRoot, 0x20 | kStatusRevoked), SignatureChain::Revoked);
    EXPECT_EQ(ChainVerdictOf(0, kStatusExplicitDistrust), SignatureChain::Revoked);
    EXPECT_EQ(ChainVerdictOf(kCertRevoked, 0), SignatureChain::Revoked);
    EXPECT_EQ(ChainVerdictOf(kExplicitDistrust, 0), SignatureChain::Revoked);
    // Offline: the revocation status is unknown (0x40 | 0x1000000), not bad.
    EXPECT_EQ(ChainVerdictOf(0, 0x01000040), SignatureChain::Trusted);
    EXPECT_EQ(ChainVerdictOf(kRevocationOffline, 0x01000040), SignatureChain::Trusted);
    EXPECT_EQ(ChainVerdictOf(kRevocationFailure, 0), SignatureChain::Trusted);
    EXPECT_EQ(ChainVerdictOf(kNoRevocationCheck, 0), SignatureChain::Trusted);
}

// PE headers with a PE32 (0x10B) or PE32+ (0x20B) optional header and the given certificate table.
std::vector<uint8_t> PeHeaders(uint16_t magic, uint32_t directories, uint32_t offset, uint32_t size) {
    const size_t optionalSize = magic == 0x10B ? 96 + 16 * 8 : 112 + 16 * 8;
    std::vector<uint8_t> h(24 + optionalSize, 0);
    h[0] = 'P', h[1] = 'E';
    h[20] = static_cast<uint8_t>(optionalSize), h[21] = static_cast<uint8_t>(optionalSize >> 8);
    h[24] = static_cast<uint8_t>(magic), h[25] = static_cast<uint8_t>(magic >> 8);
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    const size_t count = magic == 0x10B ? 92 : 108;
    put(24 + count, directories);
    put(24 + count + 4 + 4 * 8, offset);
    put(24 + count + 4 + 4 * 8 + 4, size);
    return h;
}

TEST(PeSignature, FindsTheCertificateTableOfBothKindsAndRejectsWhatIsNotPe) {
    std::vector<uint8_t> dos(64, 0);
    dos[0] = 'M', dos[1] = 'Z', dos[0x3C] = 0x80;
    EXPECT_EQ(PeHeadersOffset(dos.data(), dos.size()), 0x80u);
    EXPECT_EQ(PeHeadersOffset(dos.data(), 63), 0u);
    dos[0] = 'Z';
    EXPECT_EQ(PeHeadersOffset(dos.data(), dos.size()), 0u);

    for (uint16_t magic : {0x10B, 0x20B}) {
        auto h = PeHeaders(magic, 16, 0x1234, 0x5678);
        PeSignatureLocation at = FindPeSignature(h.data(), h.size());
        EXPECT_TRUE(at.isPe);
        EXPECT_EQ(at.offset, 0x1234u);
        EXPECT_EQ(at.size, 0x5678u);
        EXPECT_TRUE(at.DeclaresSignature());

        h = PeHeaders(magic, 16, 0, 0);
        EXPECT_FALSE(FindPeSignature(h.data(), h.size()).DeclaresSignature());
        // Fewer than five directories: no certificate table, whatever the bytes after them say.
        h = PeHeaders(magic, 4, 0x1234, 0x5678);
        EXPECT_FALSE(FindPeSignature(h.data(), h.size()).DeclaresSignature());
        // Headers cut short before the entry.
        h = PeHeaders(magic, 16, 0x1234, 0x5678);
        EXPECT_FALSE(FindPeSignature(h.data(), magic == 0x10B ? 24 + 96 + 4 * 8 + 4 : 24 + 112).DeclaresSignature());
    }
    auto h = PeHeaders(0x107, 16, 0x1234, 0x5678);
    EXPECT_FALSE(FindPeSignature(h.data(), h.size()).isPe);
    EXPECT_FALSE(FindPeSignature(h.data(), 3).isPe);
}

// A certificate table of one entry: the header with the given length, then a DER SEQUENCE whose
// content is `der` bytes long, then `pad` zero bytes.
std::vector<uint8_t> Table(uint32_t entryLength, size_t der, size_t pad, bool longForm = true) {
    std::vector<uint8_t> t = {static_cast<uint8_t>(entryLength),
                              static_cast<uint8_t>(entryLength >> 8),
                              static_cast<uint8_t>(entryLength >> 16),
                              static_cast<uint8_t>(entryLength >> 24),
                              0x00,
                              0x02,
                              0x02,
                              0x00,
                              0x30};
    if (longForm) {
        t.insert(t.end(), {0x82, static_cast<uint8_t>(der >> 8), static_cast<uint8_t>(der)});
    } else {
        t.push_back(static_cast<uint8_t>(der));
    }
    t.resize(t.size() + der + pad, 0);
    return t;
}

TEST(PeSignature, TheCertificateTableHoldsOnlyTheSignatureAndEndsTheFile) {
    PeSignatureLocation at;
    at.isPe = true;
    at.offset = 4096;
    auto sound = [&](const std::vector<uint8_t>& t, uint64_t fileSize) {
        at.size = static_cast<uint32_t>(t.size());
        return CertificateTableIsSound(at, fileSize, t.data(), t.size());
    };
    // 8 + 4 + 1001 = 1013 bytes, padded to 1016: its length either exact or padded.
    EXPECT_TRUE(sound(Table(1016, 1001, 3), 4096 + 1016));
    EXPECT_TRUE(sound(Table(1013, 1001, 3), 4096 + 1016));
    EXPECT_TRUE(sound(Table(16, 6, 0, false), 4096 + 16));
    // Bytes after the table, or a table that runs past the file.
    EXPECT_FALSE(sound(Table(1016, 1001, 3), 4096 + 1017));
    EXPECT_FALSE(sound(Table(1016, 1001, 3), 4096 + 1000));
    // More padding than the alignment, within the entry or after it.
    EXPECT_FALSE(sound(Table(1024, 1001, 11), 4096 + 1024));
    EXPECT_FALSE(sound(Table(1016, 1001, 11), 4096 + 1024));
    // An entry shorter than its signature, a second entry, no DER SEQUENCE, an indefinite length.
    EXPECT_FALSE(sound(Table(1008, 1001, 3), 4096 + 1016));
    std::vector<uint8_t> two = Table(1016, 1001, 3), second = Table(16, 6, 0, false);
    two.insert(two.end(), second.begin(), second.end());
    EXPECT_FALSE(sound(two, 4096 + two.size()));
    std::vector<uint8_t> t = Table(1016, 1001, 3);
    t[8] = 0x31;
    EXPECT_FALSE(sound(t, 4096 + 1016));
    t[8] = 0x30, t[9] = 0x80;
    EXPECT_FALSE(sound(t, 4096 + 1016));
    EXPECT_FALSE(sound(std::vector<uint8_t>(4), 4096 + 4));
    at.offset = 0xFFFFFFF0u;  // the end past 4 GiB does not wrap around
    EXPECT_FALSE(sound(Table(16, 6, 0, false), 0x0u));
}

}  // namespace
