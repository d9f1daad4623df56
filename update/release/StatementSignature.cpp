// The release statement's signature through CryptoAPI. Wine's detached verification does not compare
// a signed digest attribute with the content, so a signature with signed attributes is refused here
// rather than trusted to a comparison that may not happen.
#include "update/release/StatementSignature.h"

#include "framework/Handle.h"
#include "system/DiagnosticsLog.h"
#include "system/Sha256.h"
#include "update/handoff/SetupSignature.h"

#include <wincrypt.h>

#include <cstring>
#include <vector>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

using CCryptMessage = COwned<HCRYPTMSG, ::CryptMsgClose>;
using CCertContext = COwned<PCCERT_CONTEXT, ::CertFreeCertificateContext>;

// One signer, and whether it signed attributes; false when the message cannot be decoded.
bool ReadSignerLayout(const std::vector<uint8_t>& signature, bool& signedAttributes) {
    CCryptMessage message(::CryptMsgOpenToDecode(kEncoding, CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr));
    if (!message.Get() ||
        !::CryptMsgUpdate(message.Get(), signature.data(), static_cast<DWORD>(signature.size()), TRUE))
        return false;
    DWORD signers = 0;
    DWORD size = sizeof signers;
    if (!::CryptMsgGetParam(message.Get(), CMSG_SIGNER_COUNT_PARAM, 0, &signers, &size) || signers != 1) return false;
    DWORD attributes = 0;
    signedAttributes =
        ::CryptMsgGetParam(message.Get(), CMSG_SIGNER_AUTH_ATTR_PARAM, 0, nullptr, &attributes) && attributes > 0;
    return true;
}

// The certificate may sign code: its enhanced key usage names code signing, or it names no usage at
// all (any). The chain is built for any use, as for the setup program, so the use is read here.
bool HasCodeSigningUsage(PCCERT_CONTEXT cert) {
    DWORD size = 0;
    if (!::CertGetEnhancedKeyUsage(cert, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size))
        return ::GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);  // no extension: any usage
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    if (!::CertGetEnhancedKeyUsage(cert, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, usage, &size)) return false;
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
        if (std::strcmp(usage->rgpszUsageIdentifier[i], szOID_PKIX_KP_CODE_SIGNING) == 0) return true;
    }
    return false;
}

SignatureChain ChainOf(DWORD status) {
    if (status & (CERT_TRUST_IS_REVOKED | CERT_TRUST_IS_EXPLICIT_DISTRUST)) return SignatureChain::Revoked;
    // A revocation server that cannot be reached refuses nothing, as for the setup program.
    const DWORD unknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    return (status & ~unknown) == 0 ? SignatureChain::Trusted : SignatureChain::Untrusted;
}

// A certificate of the chain is outside its validity at this PC's date.
constexpr DWORD kTimeStatus =
    CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED | CERT_TRUST_CTL_IS_NOT_TIME_VALID;

}  // namespace

StatementSignatureFacts CheckStatementSignature(const std::vector<uint8_t>& statement,
                                                const std::vector<uint8_t>& signature, CertFingerprint& signer,
                                                CertFingerprint& publisher) {
    StatementSignatureFacts facts;
    if (statement.empty() || signature.empty()) return facts;
    if (!ReadSignerLayout(signature, facts.signedAttributes)) return facts;

    CRYPT_VERIFY_MESSAGE_PARA para{};
    para.cbSize = sizeof para;
    para.dwMsgAndCertEncodingType = kEncoding;
    const BYTE* content[] = {statement.data()};
    DWORD contentSize[] = {static_cast<DWORD>(statement.size())};
    CCertContext cert;
    facts.intact =
        ::CryptVerifyDetachedMessageSignature(&para, 0, signature.data(), static_cast<DWORD>(signature.size()), 1,
                                              content, contentSize, cert.Out()) != FALSE &&
        cert.Get() != nullptr;
    if (!facts.intact) return facts;

    SignatureVerdict verdict;
    verdict.content = SignatureContent::Intact;
    verdict.hasSigner = CSha256::Of(cert.Get()->pbCertEncoded, cert.Get()->cbCertEncoded, verdict.signer);
    const DWORD status = SignerChainStatus(cert.Get(), &verdict.issuerChain);
    const bool codeSigning = HasCodeSigningUsage(cert.Get());
    verdict.chain = codeSigning ? ChainOf(status) : SignatureChain::Untrusted;
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(status));
    LogEvent("release.signer-chain", {{"status", text}});
    signer = verdict.signer;
    // The setup program's rule without its allowance for unsigned files: a statement is signed.
    SignaturePolicy policy = BuildSignaturePolicy();
    policy.allowUnsigned = false;
    const std::optional<CertFingerprint> who = PublisherOf(verdict, policy);
    facts.signerAccepted = SignatureAllowsLaunch(verdict, policy) && who;
    if (who) publisher = *who;
    // Only to tell the user why: the verdict above stands.
    if (!facts.signerAccepted && codeSigning && (status & kTimeStatus)) {
        SignatureVerdict inTime = verdict;
        inTime.chain = ChainOf(status & ~kTimeStatus);
        facts.signerOutOfTime = SignatureAllowsLaunch(inTime, policy) && PublisherOf(inTime, policy);
    }
    return facts;
}
