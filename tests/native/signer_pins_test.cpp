// The pinned publishers of the build setting, the certificate table of a PE file and the launch
// decision from the two verdicts about a setup program's signature.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/logic/SignerPins.h"

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
    std::vector<CertFingerprint> pins(1);
    std::string why;
    EXPECT_FALSE(ParseSignerPins(kA + ";abcd", pins, &why));
    EXPECT_NE(why.find("4 hexadecimal digits"), std::string::npos) << why;
    EXPECT_TRUE(pins.empty());                            // nothing half-parsed is left behind
    EXPECT_FALSE(ParseSignerPins(kA + "0", pins, &why));  // 65 digits
    EXPECT_FALSE(ParseSignerPins("sha256:" + kA.substr(0, 60), pins, &why));
    EXPECT_NE(why.find("'s'"), std::string::npos) << why;
    EXPECT_FALSE(ParseSignerPins(std::string(63, 'a') + "g", pins, &why));
}

TEST(SignerPins, BrokenContentIsNeverLaunchedAndTheChainNeverRefusesWithoutPins) {
    const std::vector<CertFingerprint> none;
    const std::vector<CertFingerprint> pinned = {Fp(1), Fp(2)};
    for (SignatureChain chain : {SignatureChain::Trusted, SignatureChain::Untrusted}) {
        SignatureVerdict v;
        v.chain = chain;
        v.content = SignatureContent::Broken;
        v.hasSigner = true;
        v.signer = Fp(1);
        EXPECT_FALSE(SignatureAllowsLaunch(v, none));
        EXPECT_FALSE(SignatureAllowsLaunch(v, pinned));

        v.content = SignatureContent::Intact;
        EXPECT_TRUE(SignatureAllowsLaunch(v, none));
        EXPECT_TRUE(SignatureAllowsLaunch(v, pinned));  // the pin stands in for the chain
        v.signer = Fp(3);
        EXPECT_TRUE(SignatureAllowsLaunch(v, none));
        EXPECT_FALSE(SignatureAllowsLaunch(v, pinned));  // somebody else's certificate
        v.signer = Fp(2);
        v.hasSigner = false;
        EXPECT_FALSE(SignatureAllowsLaunch(v, pinned));  // signer unreadable

        v.content = SignatureContent::Unsigned;
        EXPECT_TRUE(SignatureAllowsLaunch(v, none));
        EXPECT_FALSE(SignatureAllowsLaunch(v, pinned));
    }
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

}  // namespace
